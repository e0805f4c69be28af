#include "protocol/command_history.h"

#include <algorithm>

namespace halvek {

void CommandHistory::recordCommand(const std::string& name) {
    auto empty = std::find_if(slots_.begin(), slots_.end(), [](const std::string& s) { return s.empty(); });
    if (empty != slots_.end()) {
        *empty = name;
    } else {
        std::move(slots_.begin() + 1, slots_.end(), slots_.begin());
        slots_.back() = name;
    }
    ++counter_;
}

}  // namespace halvek
