#include "protocol/frame.h"

namespace halvek {

size_t encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data, uint8_t* out) {
    const size_t total = smallestFrameSize(extended) + data.size();
    size_t p = 0;
    uint16_t sum = 0;
    auto put = [&](uint8_t b) {
        out[p++] = b;
        sum = static_cast<uint16_t>(sum + b);
    };
    put(kStx);
    if (extended) {
        put(0x00);
        put(static_cast<uint8_t>(total >> 8));
    }
    put(static_cast<uint8_t>(total & 0xFF));
    put(code);
    for (uint8_t b : data) put(b);
    const uint16_t check = static_cast<uint16_t>(0x10000 - sum);
    if (extended) out[p++] = static_cast<uint8_t>(check >> 8);
    out[p++] = static_cast<uint8_t>(check & 0xFF);
    return p;
}

std::vector<uint8_t> encodeFrame(bool extended, uint8_t code, std::span<const uint8_t> data) {
    std::vector<uint8_t> out(smallestFrameSize(extended) + data.size());
    encodeFrame(extended, code, data, out.data());
    return out;
}

size_t dataCount(const uint8_t* frame, bool extended) {
    const size_t length = frameLength(frame, extended);
    const size_t smallest = smallestFrameSize(extended);
    return length > smallest ? length - smallest : 0;
}

bool checksumValid(const uint8_t* frame, size_t length, bool extended) {
    const size_t tail = extended ? 2 : 1;
    if (length < smallestFrameSize(extended)) return false;
    uint16_t sum = 0;
    for (size_t i = 0; i < length - tail; ++i) sum = static_cast<uint16_t>(sum + frame[i]);
    const uint16_t check = static_cast<uint16_t>(0x10000 - sum);
    if (extended) return frame[length - 2] == (check >> 8) && frame[length - 1] == (check & 0xFF);
    return frame[length - 1] == (check & 0xFF);
}

}  // namespace halvek
