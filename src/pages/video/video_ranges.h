#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace halvek {

// The levels a channel must read through and off the white VLA paper: a level
// v is in range when |v - centre| <= halfWidth.
struct LevelRange {
    int centre;
    int halfWidth;
    int low() const { return centre - halfWidth; }
    int high() const { return centre + halfWidth; }
    bool holds(int v) const { return v >= low() && v <= high(); }
};

// One range per colour (red, green, blue, infrared), for each of the two optics.
struct VideoRanges {
    std::array<LevelRange, 4> transmissive;
    std::array<LevelRange, 4> reflective;
};

// The ranges the Video test page judges by, for the L8V variant or the L8.
const VideoRanges& videoTestRanges(bool l8v);

// The optical channels whose levels are judged: transmissive 0-4, and
// reflective 0-2 on the L8V (its channels 3 and 4 are not fitted) or 0-4 on the L8.
constexpr size_t kJudgedTransmissiveChannels = 5;
constexpr size_t judgedReflectiveChannels(bool l8v) { return l8v ? 3 : 5; }

}  // namespace halvek
