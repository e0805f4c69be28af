#pragma once

#include <array>
#include <cstdint>

namespace halvek {

using RtcRecord = std::array<uint8_t, 8>;

}  // namespace halvek
