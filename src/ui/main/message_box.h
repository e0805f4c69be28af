#pragma once

#include <QWidget>

#include "link/user_interface.h"

namespace halvek::ui {

// Shows a message modally and returns the button pressed. The detail (a
// device or file and the reason) stays on one line as long as the screen is
// wide enough, so a path is never broken over a narrow column.
Answer runMessageBox(QWidget* parent, const Message& message);

}  // namespace halvek::ui
