#pragma once

#include <QFont>
#include <QPainter>

#include "pages/common/panel_drawing.h"

namespace halvek::ui {

// The font the painted pages write in.
QFont panelFont(const QFont& base);
// The black area the test pages chart on, with no smoothing and the panel font in its monospaced face.
void beginChartArea(QPainter& painter, const QRect& area);
// Paints a page's drawing in client coordinates, item after item.
void paintPanel(QPainter& painter, const PanelDrawing& drawing);

}  // namespace halvek::ui
