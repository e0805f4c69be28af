#pragma once

#include <string>

#include "pages/common/panel_drawing.h"

namespace halvek {

// The texts of a drawing as lines of plain text, for a terminal: one line per
// height the texts stand at, each text at the column its x gives (a character
// is taken as 6 pixels from the left edge), and at least one blank after the
// text before it. Boxes and lines are left out; trailing blanks are cut.
std::string panelText(const PanelDrawing& drawing, int leftEdge);

}  // namespace halvek
