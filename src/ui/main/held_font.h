#pragma once

#include <QFont>

class QWidget;

namespace halvek::ui {

// Gives w (and what lies in it) the font f. A style sheet's font size
// overrules setFont, so a theme's larger type would spill out of controls laid
// out in pixels: where the application has a style sheet, w's own style sheet
// says the size too, which comes before the application's. Its colours and
// borders stay.
void holdFont(QWidget* w, const QFont& f);

// The same for an area laid out in pixels (the main window's controls, a tool
// window): its font, and the tight paddings its controls were drawn for in
// place of a theme's wider ones.
void holdLayout(QWidget* area, const QFont& f);

// Whether w's font is held already.
bool fontHeld(const QWidget* w);

}  // namespace halvek::ui
