#pragma once

#include <cstddef>
#include <cstdint>

namespace halvek {

// Where the fields of a validator frame sit on the wire. Short frames: STX,
// length, code, data, 8-bit checksum. Extended ("Q7E") frames: STX, 0x00,
// 16-bit length, code, data, 16-bit checksum. The reader's framer and the frame
// codec both read the layout from here, so the two never disagree.
constexpr uint8_t kStx = 0x02;

constexpr size_t smallestFrameSize(bool extended) { return extended ? 7 : 4; }
constexpr size_t codeOffset(bool extended) { return extended ? 4 : 2; }
constexpr size_t dataOffset(bool extended) { return extended ? 5 : 3; }
constexpr size_t checksumSize(bool extended) { return extended ? 2 : 1; }
// Bytes that must have arrived before the announced length can be read.
constexpr size_t lengthFieldEnd(bool extended) { return extended ? 4 : 2; }

// The frame length the header announces (the header must be complete).
inline size_t announcedLength(const uint8_t* frame, bool extended) {
    return extended ? static_cast<size_t>(frame[2]) * 256 + frame[3] : frame[1];
}

}  // namespace halvek
