#pragma once

#include <cstdint>
#include <span>

#include "serial/comm_block.h"

namespace halvek {

// Writes a command frame into the transmit buffer in the link's current mode.
// Does nothing at all, and returns false, while a frame is still waiting.
bool placeCommand(CommBlock& block, uint8_t code, std::span<const uint8_t> data = {});

}  // namespace halvek
