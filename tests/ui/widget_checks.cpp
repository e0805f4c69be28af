#include "widget_checks.h"

#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>

#include "ui/main/keyboard_order.h"
#include "ui/main/main_window.h"
#include "ui/main/page_registry.h"
#include "ui/main/port_combo_box.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

QString plain(QString s) { return s.replace("&&", "\x01").remove('&').replace("\x01", "&"); }

QString name(QWidget* w, const QString& text) {
    return QString("%1 '%2' in %3").arg(w->metaObject()->className(), text, w->window()->windowTitle());
}

void need(QStringList& out, QWidget* w, const QString& text, QSize needs, QSize has) {
    if (needs.width() <= has.width() && needs.height() <= has.height()) return;
    out.append(QString("%1: needs %2 x %3, has %4 x %5")
                   .arg(name(w, text))
                   .arg(needs.width())
                   .arg(needs.height())
                   .arg(has.width())
                   .arg(has.height()));
}

int advance(QWidget* w, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('\n')) widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}
int lineHeight(QWidget* w, const QString& text) { return w->fontMetrics().height() * (text.count('\n') + 1); }

void checkLabel(QStringList& out, QLabel* l) {
    if (l->text().isEmpty() || !l->pixmap().isNull()) return;
    const QSize has = l->size();
    if (l->wordWrap()) {
        need(out, l, l->text(), {0, l->heightForWidth(has.width())}, has);
        return;
    }
    need(out, l, l->text(), l->sizeHint(), has);
}

void checkButton(QStringList& out, QAbstractButton* b) {
    const QString text = plain(b->text());
    if (text.isEmpty()) return;
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    QStyle::SubElement part = QStyle::SE_PushButtonContents;
    int extra = 0;
    if (qobject_cast<QCheckBox*>(b)) part = QStyle::SE_CheckBoxContents;
    if (qobject_cast<QRadioButton*>(b)) part = QStyle::SE_RadioButtonContents;
    if (!qobject_cast<QPushButton*>(b) && part == QStyle::SE_PushButtonContents) return;  // tool buttons
    if (!b->icon().isNull()) extra = b->iconSize().width() + 4;
    const QRect r = b->style()->subElementRect(part, &opt, b);
    need(out, b, text, {advance(b, text) + extra, lineHeight(b, text)}, r.size());
}

void checkGroupBox(QStringList& out, QGroupBox* g) {
    if (g->title().isEmpty()) return;
    const int room = g->width() - 16;  // the frame's corners on both sides
    need(out, g, g->title(), {advance(g, plain(g->title())), 0}, {room, 0});
}

void checkTabs(QStringList& out, QTabBar* t) {
    for (int i = 0; i < t->count(); ++i) {
        const QRect r = t->tabRect(i);
        if (r.right() >= t->width()) need(out, t, t->tabText(i), {r.right() + 1, 0}, {t->width(), 0});
        need(out, t, t->tabText(i), {advance(t, plain(t->tabText(i))), t->fontMetrics().height()}, r.size());
    }
}

void checkCombo(QStringList& out, QComboBox* c) {
    QString text = c->currentText();
    if (auto* ports = dynamic_cast<PortComboBox*>(c)) text = ports->shownText();
    if (text.isEmpty()) return;
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.currentText = text;
    const QRect r = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    need(out, c, text, {advance(c, text), c->fontMetrics().height()}, r.size());
}

void checkLineEdit(QStringList& out, QLineEdit* e) {
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e);
    const QMargins m = e->textMargins();
    const QSize has(r.width() - m.left() - m.right(), r.height() - m.top() - m.bottom());
    need(out, e, e->text(), {advance(e, e->text()), e->fontMetrics().height()}, has);
}

void checkTree(QStringList& out, QTreeView* v) {
    QHeaderView* h = v->header();
    if (!h->isHidden()) {
        const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        for (int c = 0; c < h->count(); ++c) {
            const QString text = v->model()->headerData(c, Qt::Horizontal).toString();
            need(out, h, text, {advance(h, text) + 2 * margin, 0}, {h->sectionSize(c), 0});
        }
    }
    QAbstractItemModel* model = v->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex i = model->index(row, c);
            QStyleOptionViewItem opt;
            opt.initFrom(v);
            opt.widget = v;
            opt.font = v->font();
            opt.features = QStyleOptionViewItem::HasDisplay;
            const QSize hint = v->itemDelegateForIndex(i)->sizeHint(opt, i);
            need(out, v, i.data().toString(), {hint.width(), 0}, {v->columnWidth(c), 0});
        }
    }
}

bool shown(QWidget* w, QWidget* window) { return w == window || w->isVisibleTo(window); }

}  // namespace

QStringList clippedTexts(QWidget* window) {
    QStringList out;
    QList<QWidget*> all = window->findChildren<QWidget*>();
    all.prepend(window);
    for (QWidget* w : all) {
        if (w->window() != window || !shown(w, window)) continue;
        if (auto* l = qobject_cast<QLabel*>(w)) checkLabel(out, l);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) checkButton(out, b);
        if (auto* g = qobject_cast<QGroupBox*>(w)) checkGroupBox(out, g);
        if (auto* t = qobject_cast<QTabBar*>(w)) checkTabs(out, t);
        if (auto* c = qobject_cast<QComboBox*>(w)) checkCombo(out, c);
        if (auto* e = qobject_cast<QLineEdit*>(w); e && !qobject_cast<QComboBox*>(e->parentWidget())) checkLineEdit(out, e);
        if (auto* v = qobject_cast<QTreeView*>(w)) checkTree(out, v);
    }
    return out;
}

QStringList missingMnemonics(QWidget* window) {
    QStringList out;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->window() == window && shown(b, window) && !b->text().isEmpty() && !hasMnemonic(b->text()))
            out.append(name(b, b->text()));
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
            for (QAction* a : actions) {
                if (a->isSeparator() || !a->isVisible()) continue;
                if (!hasMnemonic(a->text())) out.append("menu entry '" + a->text() + "'");
                if (a->menu()) walk(a->menu()->actions());
            }
        };
        walk(main->menuBar()->actions());
    }
    return out;
}

void forEveryPage(MainWindow& window, const std::function<void(const QString&)>& check) {
    for (const PageEntry& e : pageRegistry()) {
        QTabBar* tabs = e.row == TabRow::Upper ? window.upperTabs() : window.lowerTabs();
        tabs->setCurrentIndex(e.index);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        check(e.caption);
    }
}

void forEveryMenuWindow(MainWindow& window, const std::function<void(const QString&, QWidget*)>& check) {
    QList<QAction*> entries;
    for (QAction* top : window.menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (!a->isSeparator()) entries.append(a);
    for (QAction* a : entries) {
        const QWidgetList before = QApplication::topLevelWidgets();
        QSet<QWidget*> seen;
        auto fresh = [&](QWidget* w) { return w && w->isVisible() && !before.contains(w) && !seen.contains(w); };
        // A modal window runs its own loop: it is looked at from in there.
        QTimer watch;
        watch.setInterval(10);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!fresh(modal)) return;
            seen.insert(modal);
            check(plain(a->text()), modal);
            if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
            else modal->close();
        });
        watch.start();
        a->trigger();
        watch.stop();
        QCoreApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!fresh(w) || w == &window) continue;
            seen.insert(w);
            check(plain(a->text()), w);
            w->close();
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace halvek::ui::test
