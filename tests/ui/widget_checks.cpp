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
#include "ui/main/text_fit.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

QString plain(QString s) { return s.replace("&&", "\x01").remove('&').replace("\x01", "&"); }

QString name(QWidget* w, const QString& text) {
    return QString("%1 '%2' (%3 px %4) in %5")
        .arg(w->metaObject()->className(), text, w->font().family())
        .arg(w->font().pixelSize())
        .arg(w->window()->windowTitle());
}

bool shown(QWidget* w, QWidget* window) { return w == window || w->isVisibleTo(window); }

}  // namespace

QStringList clippedTexts(QWidget* window) {
    QStringList out;
    for (const TextNeed& n : measureTexts(window)) {
        if (n.fits()) continue;
        out.append(QString("%1: needs %2 x %3, has %4 x %5")
                       .arg(name(n.widget, n.text))
                       .arg(n.needs.width())
                       .arg(n.needs.height())
                       .arg(n.has.width())
                       .arg(n.has.height()));
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
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
            else
                modal->close();
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
