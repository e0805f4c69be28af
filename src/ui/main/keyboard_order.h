#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace halvek::ui {

// Whether a caption carries a mnemonic ("&CONNECT"; "&&" is a plain ampersand).
bool hasMnemonic(const QString& caption);

// Gives every visible button under root that has no mnemonic one: the first
// letter of one of its words that no other button there (nor `taken`) uses,
// else any such letter or digit of its caption.
void giveMnemonics(QWidget* root, const QString& taken = {});

// The controls under root that take the focus by Tab, in the order they are
// seen: rows from top to bottom, left to right within a row; a container's
// controls come together in its place.
QList<QWidget*> visualFocusOrder(QWidget* root);
void orderFocusVisually(QWidget* root);

// Texts fitted, mnemonics given and the focus ordered, for a window about to be shown.
void prepareWindow(QWidget* window);

}  // namespace halvek::ui
