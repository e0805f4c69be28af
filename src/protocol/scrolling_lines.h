#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace halvek {

// The last N lines of a list that scrolls up: lines fill from the top; once
// full, the oldest leaves at the top and the new one comes in at the bottom.
// The counter of lines added since start lets a painter keep each line's row
// shade while it moves up.
template <size_t N>
class ScrollingLines {
  public:
    static constexpr size_t kLines = N;

    void add(const std::string& line) {
        auto empty = std::find_if(lines_.begin(), lines_.end(), [](const std::string& s) { return s.empty(); });
        if (empty != lines_.end()) {
            *empty = line;
        } else {
            std::move(lines_.begin() + 1, lines_.end(), lines_.begin());
            lines_.back() = line;
        }
        ++counter_;
    }
    const std::array<std::string, N>& lines() const { return lines_; }
    uint32_t counter() const { return counter_; }

  private:
    std::array<std::string, N> lines_;
    uint32_t counter_ = 0;
};

}  // namespace halvek
