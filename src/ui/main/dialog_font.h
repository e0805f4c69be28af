#pragma once

#include <QFont>
#include <QSizeF>

class QWidget;

namespace halvek::ui {

// The windows are laid out in dialog units with fixed factors (geometry.h):
// base units of 6 x 13 pixels, which keeps the main window and the drawing
// area at their pixel sizes. The font is chosen to fit those units instead:
// the largest pixel size of the application's family, or of its condensed
// face, whose average letter is at most 6 pixels wide and whose line is at
// most 13 pixels high.
QFont dialogFont();

// The average width of the 52 letters and the line height of a font, in pixels.
QSizeF baseUnits(const QFont& font);

// Gives the window and every dialog the dialog font.
void useDialogFont(QWidget* window);

}  // namespace halvek::ui
