#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "protocol/reply.h"

namespace halvek::test {

// A reply frame written out by hand around its data (not by the codec under
// test elsewhere): short frames STX, length, code, data, checksum; long ones
// STX, 00, length high and low, code, data, two checksum bytes. The parses do
// not look at the checksum, so it is left 0.
struct ReplyBytes {
    ReplyBytes(bool extended, uint8_t code, const std::vector<uint8_t>& data) {
        const size_t length = data.size() + (extended ? 7 : 4);
        if (extended)
            frame = {0x02, 0x00, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), code};
        else
            frame = {0x02, static_cast<uint8_t>(length), code};
        frame.insert(frame.end(), data.begin(), data.end());
        frame.resize(length, 0);
        frame.resize(length + 16, 0xEE);  // what a longer earlier frame left in the buffer
        this->extended = extended;
    }
    Reply reply() const { return Reply(frame.data(), frame.size(), extended); }

    std::vector<uint8_t> frame;
    bool extended = true;
};

// Values low byte first, as the statistics reply carries them.
inline std::vector<uint8_t> lowFirst(const std::vector<int>& values) {
    std::vector<uint8_t> b;
    for (int v : values) b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    return b;
}

}  // namespace halvek::test
