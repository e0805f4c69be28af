#pragma once

#include <QPainter>

#include "capture/view_data_view.h"

namespace halvek::ui {

// Paints the View data panel: the drawing area black, then every row of cells
// the view holds on its stripe. Main-window client coordinates.
void paintViewData(QPainter& p, const ViewDataView& view);

}  // namespace halvek::ui
