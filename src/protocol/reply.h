#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "serial/frame_layout.h"

namespace halvek {

// A complete reply frame as the handlers read it. Data bytes are counted from
// the mode's data offset; a byte the frame does not hold reads as 0, so a
// short reply never shows what an earlier, longer one left in the buffer.
class Reply {
  public:
    Reply(const uint8_t* frame, size_t bufferSize, bool extended) : frame_(frame), extended_(extended) {
        const size_t len = announcedLength(frame, extended);
        length_ = len < bufferSize ? len : bufferSize;
    }
    bool extended() const { return extended_; }
    size_t length() const { return length_; }  // the frame's own length field (within the buffer)
    uint8_t code() const { return frame_[codeOffset(extended_)]; }
    size_t dataCount() const {
        return length_ > smallestFrameSize(extended_) ? length_ - smallestFrameSize(extended_) : 0;
    }
    uint8_t data(size_t i) const { return i < dataCount() ? frame_[dataOffset(extended_) + i] : 0; }
    uint8_t byte(size_t i) const { return i < length_ ? frame_[i] : 0; }
    uint16_t data16(size_t i) const { return static_cast<uint16_t>(data(i) << 8 | data(i + 1)); }  // high byte first
    uint16_t data16le(size_t i) const { return static_cast<uint16_t>(data(i) | data(i + 1) << 8); }

    // The first N data bytes, in order (0 beyond the frame).
    template <size_t N>
    void copyData(std::array<uint8_t, N>& to) const {
        for (size_t i = 0; i < N; ++i) to[i] = data(i);
    }

  private:
    const uint8_t* frame_;
    size_t length_;
    bool extended_;
};

}  // namespace halvek
