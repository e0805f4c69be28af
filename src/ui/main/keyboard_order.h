#pragma once

#include <QList>
#include <QString>

#include "ui/main/mnemonics.h"

class QWidget;

namespace halvek::ui {

// The controls under root that take the focus by Tab, in the order they are
// seen: rows from top to bottom, left to right within a row; a container's
// controls come together in its place.
QList<QWidget*> visualFocusOrder(QWidget* root);
void orderFocusVisually(QWidget* root);

// Texts fitted, mnemonics given and the focus ordered, for a window about to be shown.
void prepareWindow(QWidget* window);

}  // namespace halvek::ui
