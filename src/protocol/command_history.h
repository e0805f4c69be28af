#pragma once

#include "protocol/scrolling_lines.h"

namespace halvek {

// The names of the last eight commands sent, oldest first; its counter is the
// HistoryCounter.
class CommandHistory : public ScrollingLines<8> {
  public:
    static constexpr size_t kSlots = kLines;
    void recordCommand(const std::string& name) { add(name); }
    const std::array<std::string, kSlots>& slots() const { return lines(); }
};

}  // namespace halvek
