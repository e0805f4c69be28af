#include "crc_engine.h"

#include "firmware/crc.h"

namespace halvek::sim {

Bytes defaultProgramImage() {
    Bytes image(64 * 1024);
    uint32_t x = 0x2545F491;
    for (uint8_t& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return image;
}

CrcEngine::CrcEngine(int busyMs) : image_(defaultProgramImage()), busyMs_(busyMs) {}

void CrcEngine::run16(uint16_t polynomial, uint16_t seed, int64_t nowMs) {
    result16_ = crc16(polynomial, seed, image_);
    readyAt_ = nowMs + busyMs_;
}

void CrcEngine::run32(uint32_t seed, int64_t nowMs) {
    result32_ = crc32(seed, image_);
    readyAt_ = nowMs + busyMs_;
}

std::optional<Bytes> CrcEngine::read16(int64_t nowMs) const {
    if (nowMs < readyAt_) return std::nullopt;
    return Bytes{static_cast<uint8_t>(result16_ >> 8), static_cast<uint8_t>(result16_)};
}

std::optional<Bytes> CrcEngine::read32(int64_t nowMs) const {
    if (nowMs < readyAt_) return std::nullopt;
    return Bytes{static_cast<uint8_t>(result32_ >> 24), static_cast<uint8_t>(result32_ >> 16),
                 static_cast<uint8_t>(result32_ >> 8), static_cast<uint8_t>(result32_)};
}

}  // namespace halvek::sim
