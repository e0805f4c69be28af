#pragma once

#include <cstddef>
#include <cstdint>

namespace halvek {

// Undoes the driver's marking of damaged bytes (a line opened with parity
// checked): 0xFF 0xFF is a real 0xFF, and 0xFF 0x00 b is a byte b that arrived
// with a parity or framing error (b = 0 for a break). The marks may be split
// across reads, so the unescaper keeps its state between chunks.
class LineUnescaper {
  public:
    void reset() { state_ = State::Plain; }
    // Writes the bytes of in to out (at most n) and, per byte, whether it arrived
    // damaged. Returns the number of bytes written.
    size_t unescape(const uint8_t* in, size_t n, uint8_t* out, bool* damaged);

  private:
    enum class State { Plain, AfterMark, AfterMarkZero };
    State state_ = State::Plain;
};

}  // namespace halvek
