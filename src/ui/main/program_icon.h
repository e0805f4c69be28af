#pragma once

#include <QIcon>

namespace halvek::ui {

// The program's icon: a bank note on its way into a validator, drawn at start.
QIcon programIcon();

}  // namespace halvek::ui
