#pragma once

#include <span>

#include "pages/setup/setup_view.h"

namespace halvek::cli {

// The words a set-up switch takes on the command line (`set KEY=WORD`) and
// shows in `read setup --json`, for its two states: what one prints, the
// other accepts. The orientation is shown but cannot be set.
struct SwitchWords {
    SetupSwitch which;
    const char* off;
    const char* on;
    bool settable = true;
};

std::span<const SwitchWords> switchWords();
const SwitchWords& switchWords(SetupSwitch which);

}  // namespace halvek::cli
