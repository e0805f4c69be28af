#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "serial/frame_layout.h"

namespace halvek {

// The frame codec: pure functions over bytes. The checksum is the two's
// complement of the 16-bit sum of every byte before it (its low byte in short
// frames).

// Encodes one frame into out (which must hold smallestFrameSize + data.size()
// bytes); returns the frame's length.
size_t encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data, uint8_t* out);
std::vector<uint8_t> encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data);
inline std::vector<uint8_t> encodeFrame(bool extended, uint8_t code, std::initializer_list<uint8_t> data) {
    return encodeFrame(extended, code, std::span<const uint8_t>(data.begin(), data.size()));
}

// Of a received frame.
inline size_t frameLength(const uint8_t* frame, bool extended) { return announcedLength(frame, extended); }
size_t dataCount(const uint8_t* frame, bool extended);
// True when the checksum of a complete frame of the given length is right.
bool checksumValid(const uint8_t* frame, size_t length, bool extended);

}  // namespace halvek
