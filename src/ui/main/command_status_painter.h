#pragma once

#include <QPainter>

#include "link/stores.h"

namespace halvek::ui {

// Paints the Command-Status panes: the last commands, the status bytes with
// the last events, and the validator's state. Client coordinates.
void paintCommandStatus(QPainter& p, Stores& stores, int state);

}  // namespace halvek::ui
