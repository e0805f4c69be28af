#include "pages/video/video_ranges.h"

namespace halvek {
namespace {

// {centre, half-width} for red, green, blue and infrared.
constexpr VideoRanges kL8v{
    .transmissive = {{{80, 16}, {80, 16}, {80, 16}, {80, 16}}},
    .reflective = {{{220, 44}, {220, 44}, {220, 44}, {220, 44}}},
};
constexpr VideoRanges kL8{
    .transmissive = {{{82, 16}, {81, 16}, {73, 14}, {81, 16}}},
    .reflective = {{{220, 44}, {212, 42}, {210, 42}, {230, 44}}},
};

}  // namespace

const VideoRanges& videoTestRanges(bool l8v) { return l8v ? kL8v : kL8; }

}  // namespace halvek
