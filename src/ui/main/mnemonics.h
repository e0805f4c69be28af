#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

namespace halvek::ui {

// Whether a caption carries a mnemonic ("&CONNECT"; "&&" is a plain ampersand).
bool hasMnemonic(const QString& caption);

// Gives every visible button under root that has no mnemonic one: the first
// letter of one of its words that no other button there (nor `taken`) uses,
// else any such letter or digit of its caption.
void giveMnemonics(QWidget* root, const QString& taken = {});

// Changes a button's caption and gives it a mnemonic again among those of the
// window (or page area) it belongs to: a caption that changes keeps a letter.
void setCaption(QAbstractButton* button, const QString& caption);

}  // namespace halvek::ui
