#pragma once

#include <QPainter>

#include "link/stores.h"

namespace halvek::ui {

// Paints the Command-Status panes: the last commands, the status bytes with
// the last events, and the validator's state. Client coordinates.
void paintCommandStatus(QPainter& p, Stores& stores, int state);

// The same in words, for screen readers: the commands, the status bytes and
// events, and the state.
QString commandStatusDescription(const Stores& stores, int state);

}  // namespace halvek::ui
