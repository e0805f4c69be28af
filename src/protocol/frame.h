#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "serial/comm_block.h"

namespace halvek {

constexpr uint8_t kStx = 0x02;

// Short frames: STX, length, code, data, 8-bit checksum. Extended ("Q7E")
// frames: STX, 0x00, 16-bit length, code, data, 16-bit checksum. The checksum
// is the two's complement of the 16-bit sum of every byte before it.
inline size_t smallestFrameSize(bool extended) { return extended ? 7 : 4; }
inline size_t dataOffset(bool extended) { return extended ? 5 : 3; }
inline size_t codeOffset(bool extended) { return extended ? 4 : 2; }

// Encodes one frame into out (which must hold smallestFrameSize + data.size()
// bytes); returns the frame's length.
size_t encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data, uint8_t* out);
std::vector<uint8_t> encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data);
inline std::vector<uint8_t> encodeFrame(bool extended, uint8_t code, std::initializer_list<uint8_t> data) {
    return encodeFrame(extended, code, std::span<const uint8_t>(data.begin(), data.size()));
}

// Writes a command frame into the transmit buffer in the link's current mode.
// Does nothing at all, and returns false, while a frame is still waiting.
bool buildFrame(CommBlock& block, uint8_t code, std::span<const uint8_t> data = {});

// Of a received frame.
size_t frameLength(const uint8_t* frame, bool extended);
size_t dataCount(const uint8_t* frame, bool extended);
// True when the checksum of a complete frame of the given length is right.
bool checksumValid(const uint8_t* frame, size_t length, bool extended);

}  // namespace halvek
