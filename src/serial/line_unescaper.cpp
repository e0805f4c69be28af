#include "serial/line_unescaper.h"

namespace halvek {

size_t LineUnescaper::unescape(const uint8_t* in, size_t n, uint8_t* out, bool* damaged) {
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        switch (state_) {
            case State::Plain:
                if (b == 0xFF) {
                    state_ = State::AfterMark;
                } else {
                    out[m] = b;
                    damaged[m++] = false;
                }
                break;
            case State::AfterMark:
                if (b == 0x00) {
                    state_ = State::AfterMarkZero;
                } else {
                    // 0xFF 0xFF is a real 0xFF; any other follower cannot come from the
                    // driver, and is kept as damaged rather than silently trusted.
                    out[m] = 0xFF;
                    damaged[m++] = b != 0xFF;
                    if (b != 0xFF) {
                        out[m] = b;
                        damaged[m++] = false;
                    }
                    state_ = State::Plain;
                }
                break;
            case State::AfterMarkZero:
                out[m] = b;
                damaged[m++] = true;
                state_ = State::Plain;
                break;
        }
    }
    return m;
}

}  // namespace halvek
