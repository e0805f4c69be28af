#include "ui/main/text_fit.h"

#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTreeView>
#include <optional>

#include "ui/main/held_font.h"
#include "ui/main/port_combo_box.h"

namespace halvek::ui {
namespace {

constexpr int kStretches[] = {94, 88, 82, 76};
constexpr int kSmallestPixels = 9;
constexpr int kGap = 2;  // kept free between a grown control and the next

QString plain(QString s) { return s.replace("&&", "\x01").remove('&').replace("\x01", "&"); }

int advance(const QWidget* w, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('\n')) widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}
int lineHeight(const QWidget* w, const QString& text) {
    const auto lines = static_cast<int>(text.count('\n') + 1);  // a label's few lines
    return w->fontMetrics().height() * lines;
}

std::optional<TextNeed> label(QLabel* l) {
    if (l->text().isEmpty() || !l->pixmap().isNull()) return {};
    const QSize has = l->size();
    if (l->wordWrap()) return TextNeed{l, l->text(), {0, l->heightForWidth(has.width())}, has};
    // The height is the lines' (the size hint holds the glyphs' full ink, which
    // brackets take below the line).
    const QMargins m = l->contentsMargins();
    const int lines = l->textFormat() == Qt::RichText ? 1 : static_cast<int>(l->text().count('\n')) + 1;
    const int height = l->fontMetrics().height() * lines + m.top() + m.bottom() + 2 * l->margin();
    return TextNeed{l, l->text(), {l->sizeHint().width(), height}, has};
}

std::optional<TextNeed> button(QAbstractButton* b) {
    const QString text = plain(b->text());
    if (text.isEmpty()) return {};
    QStyle::SubElement part;
    if (qobject_cast<QCheckBox*>(b))
        part = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(b))
        part = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QPushButton*>(b))
        part = QStyle::SE_PushButtonContents;
    else
        return {};  // tool buttons draw what they are given
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
    const QRect r = b->style()->subElementRect(part, &opt, b);
    return TextNeed{b, text, {advance(b, text) + icon, lineHeight(b, text)}, r.size()};
}

std::optional<TextNeed> groupBox(QGroupBox* g) {
    if (g->title().isEmpty()) return {};
    // The frame keeps a corner free on both sides of the title.
    return TextNeed{g, g->title(), {advance(g, plain(g->title())), 0}, {g->width() - 16, 0}};
}

std::optional<TextNeed> combo(QComboBox* c) {
    QString text = c->currentText();
    if (auto* ports = dynamic_cast<PortComboBox*>(c)) text = ports->shownText();
    if (text.isEmpty()) return {};
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.currentText = text;
    const QRect r = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    return TextNeed{c, text, {advance(c, text), c->fontMetrics().height()}, r.size()};
}

std::optional<TextNeed> lineEdit(QLineEdit* e) {
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e);
    const QMargins m = e->textMargins();
    const QSize has(r.width() - m.left() - m.right(), r.height() - m.top() - m.bottom());
    return TextNeed{e, e->text(), {advance(e, e->text()), e->fontMetrics().height()}, has};
}

void tabs(QTabBar* t, QList<TextNeed>& out) {
    for (int i = 0; i < t->count(); ++i) {
        const QRect r = t->tabRect(i);
        // A tab past the bar's end is hidden behind the scroll buttons.
        out.append({t, t->tabText(i), {r.right() + 1, 0}, {t->width(), 0}});
        out.append({t, t->tabText(i), {advance(t, plain(t->tabText(i))), t->fontMetrics().height()}, r.size()});
    }
}

void tree(QTreeView* v, QList<TextNeed>& out) {
    QHeaderView* h = v->header();
    QAbstractItemModel* model = v->model();
    if (!h->isHidden()) {
        const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        for (int c = 0; c < h->count(); ++c) {
            const QString text = model->headerData(c, Qt::Horizontal).toString();
            out.append({h, text, {advance(h, text) + 2 * margin, 0}, {h->sectionSize(c), 0}});
        }
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex i = model->index(row, c);
            QStyleOptionViewItem opt;
            opt.initFrom(v);
            opt.widget = v;
            opt.font = v->font();
            const QSize hint = v->itemDelegateForIndex(i)->sizeHint(opt, i);
            out.append({v, i.data().toString(), {hint.width(), 0}, {v->columnWidth(c), 0}});
        }
    }
}

std::optional<TextNeed> fittable(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return label(l);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return button(b);
    return {};
}

bool readsFromLeft(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return (l->alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignLeading & ~Qt::AlignLeft) == 0;
    return qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
}

// The right edge w may grow to: the parent's, or the nearest control to its right on its line.
int roomToTheRight(QWidget* w) {
    const QRect me = w->geometry();
    int limit = w->parentWidget()->width();
    for (QObject* o : w->parentWidget()->children()) {
        auto* s = qobject_cast<QWidget*>(o);
        if (!s || s == w || s->isWindow() || !s->isVisibleTo(w->parentWidget())) continue;
        const QRect r = s->geometry();
        if (r.contains(me)) continue;  // a frame drawn behind it
        if (r.bottom() < me.top() || r.top() > me.bottom() || r.left() < me.right()) continue;
        limit = std::min(limit, r.left() - kGap);
    }
    return limit;
}

}  // namespace

QList<TextNeed> measureTexts(QWidget* root) {
    QList<TextNeed> out;
    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    for (QWidget* w : all) {
        if (w->window() != root->window() || (w != root && !w->isVisibleTo(root))) continue;
        std::optional<TextNeed> n;
        if (auto* g = qobject_cast<QGroupBox*>(w)) n = groupBox(g);
        if (auto* c = qobject_cast<QComboBox*>(w)) n = combo(c);
        if (auto* e = qobject_cast<QLineEdit*>(w); e && !qobject_cast<QComboBox*>(e->parentWidget())) n = lineEdit(e);
        if (!n) n = fittable(w);
        if (n) out.append(*n);
        if (auto* t = qobject_cast<QTabBar*>(w)) tabs(t, out);
        if (auto* v = qobject_cast<QTreeView*>(w)) tree(v, out);
    }
    return out;
}

void fitTexts(QWidget* root) {
    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    for (QWidget* w : all) {
        if (w->window() != root->window() || (w != root && !w->isVisibleTo(root)) || !w->parentWidget()) continue;
        std::optional<TextNeed> n = fittable(w);
        if (!n || n->fits()) continue;
        const int short_ = n->needs.width() - n->has.width();
        if (short_ > 0 && readsFromLeft(w) && !w->parentWidget()->layout()) {
            const int grow = std::min(short_, roomToTheRight(w) - w->geometry().right() - 1);
            if (grow > 0) w->resize(w->width() + grow, w->height());
            n = fittable(w);
        }
        QFont f = w->font();
        for (int stretch : kStretches) {
            if (n->fits()) break;
            f.setStretch(stretch);
            holdFont(w, f);
            n = fittable(w);
        }
        for (int px = f.pixelSize() - 1; px >= kSmallestPixels && !n->fits() && f.pixelSize() > 0; --px) {
            f.setPixelSize(px);
            holdFont(w, f);
            n = fittable(w);
        }
    }
}

}  // namespace halvek::ui
