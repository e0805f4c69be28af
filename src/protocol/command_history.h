#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace halvek {

// The names of the last eight commands sent, oldest first, and how many were
// recorded since start; the counter keeps a line's row shade while it scrolls.
class CommandHistory {
public:
    static constexpr size_t kSlots = 8;

    void recordCommand(const std::string& name);
    const std::array<std::string, kSlots>& slots() const { return slots_; }
    uint32_t counter() const { return counter_; }

private:
    std::array<std::string, kSlots> slots_;
    uint32_t counter_ = 0;  // the HistoryCounter
};

}  // namespace halvek
