#pragma once

#include <QList>
#include <QSize>
#include <QString>

class QWidget;

namespace halvek::ui {

// A text shown by a widget: the room it needs and the room the widget gives it.
struct TextNeed {
    QWidget* widget = nullptr;
    QString text;
    QSize needs;
    QSize has;
    bool fits() const { return needs.width() <= has.width() && needs.height() <= has.height(); }
};

// Every text shown under root in root's window: labels, buttons, group box
// titles, tabs, combo boxes, line edits, and the headers and cells of tree views.
QList<TextNeed> measureTexts(QWidget* root);

// Makes the texts of labels and buttons under root fit where the dialog-unit
// layout left them too little room for this machine's font: a text that reads
// from the left grows to the right as far as the next control; what still does
// not fit is set in a narrower face of the font, then a smaller size.
void fitTexts(QWidget* root);

}  // namespace halvek::ui
