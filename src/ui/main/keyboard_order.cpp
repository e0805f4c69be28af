#include "ui/main/keyboard_order.h"

#include <QRect>
#include <QWidget>
#include <algorithm>

#include "ui/main/dialog_font.h"
#include "ui/main/held_font.h"
#include "ui/main/text_fit.h"

namespace halvek::ui {
namespace {

// Controls whose left edges are this close stand in one column.
constexpr int kColumnSlack = 8;

QRect placeIn(QWidget* w, QWidget* root) { return QRect(w->mapTo(root, QPoint(0, 0)), w->size()); }

bool takesTabFocus(QWidget* w) { return (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy(); }

// Rows: widgets that overlap a row's vertical extent belong to it; within a
// row the leftmost comes first, and of widgets in one column the upper one.
QList<QWidget*> sortVisually(QList<QWidget*> items, QWidget* root) {
    std::stable_sort(items.begin(), items.end(),
                     [root](QWidget* a, QWidget* b) { return placeIn(a, root).top() < placeIn(b, root).top(); });
    QList<QWidget*> out;
    while (!items.isEmpty()) {
        QList<QWidget*> row{items.takeFirst()};
        int bottom = placeIn(row[0], root).bottom();
        while (!items.isEmpty() && placeIn(items[0], root).top() < bottom) {
            bottom = std::max(bottom, placeIn(items[0], root).bottom());
            row.append(items.takeFirst());
        }
        while (!row.isEmpty()) {
            int best = 0;
            for (int i = 1; i < row.size(); ++i)
                if (placeIn(row[i], root).left() < placeIn(row[best], root).left()) best = i;
            const int left = placeIn(row[best], root).left();
            for (int i = 0; i < row.size(); ++i)
                if (placeIn(row[i], root).left() < left + kColumnSlack &&
                    placeIn(row[i], root).top() < placeIn(row[best], root).top())
                    best = i;
            out.append(row.takeAt(best));
        }
    }
    return out;
}

void collect(QWidget* container, QWidget* root, QList<QWidget*>& out) {
    QList<QWidget*> children;
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && w->isVisibleTo(root)) children.append(w);
    for (QWidget* w : sortVisually(children, root)) {
        if (takesTabFocus(w))
            out.append(w);
        else
            collect(w, root, out);
    }
}

}  // namespace

QList<QWidget*> visualFocusOrder(QWidget* root) {
    QList<QWidget*> out;
    collect(root, root, out);
    return out;
}

void orderFocusVisually(QWidget* root) {
    const QList<QWidget*> order = visualFocusOrder(root);
    for (int i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void prepareWindow(QWidget* window) {
    // A window of fixed size is laid out in pixels for the dialog font; one
    // that grows with its content takes a theme's font as it is.
    if (window->minimumSize() == window->maximumSize() && !fontHeld(window)) holdLayout(window, dialogFont());
    fitTexts(window);
    giveMnemonics(window);
    orderFocusVisually(window);
}

}  // namespace halvek::ui
