#pragma once

#include <QRect>

namespace halvek::ui {

// Dialog units of the classic 8-point dialog font (6 x 13 pixel base units) to
// pixels: this is what lines the controls up with the drawing area's pixels.
constexpr int dluX(int x) { return x * 3 / 2; }
constexpr int dluY(int y) { return y * 13 / 8; }
inline QRect dluRect(int x, int y, int w, int h) { return QRect(dluX(x), dluY(y), dluX(w), dluY(h)); }

// The main window's client area, below the menu bar, and the drawing area in it.
constexpr int kClientWidth = 630;
constexpr int kClientHeight = 418;
inline const QRect kDrawingArea(QPoint(16, 197), QPoint(615, 371));  // pixels 16,197 to 616,372

}  // namespace halvek::ui
