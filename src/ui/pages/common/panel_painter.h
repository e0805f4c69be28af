#pragma once

#include <QFont>
#include <QPainter>

#include "pages/common/panel_drawing.h"

namespace halvek::ui {

// The font the painted pages write in.
QFont panelFont(const QFont& base);
// Paints a page's drawing in client coordinates, item after item.
void paintPanel(QPainter& painter, const PanelDrawing& drawing);

}  // namespace halvek::ui
