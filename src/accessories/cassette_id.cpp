#include "accessories/cassette_id.h"

#include <cstdio>

#include "firmware/crc.h"

namespace halvek {

namespace {
constexpr uint16_t kCheckSeed = 1234;
}

uint16_t cassetteCheckValue(uint32_t id) {
    const uint8_t bytes[] = {static_cast<uint8_t>(id),
                             static_cast<uint8_t>(id >> 8),
                             static_cast<uint8_t>(id >> 16),
                             static_cast<uint8_t>(id >> 24),
                             0x00,
                             0x00};
    return crc16(kCrc16Poly, kCheckSeed, bytes);
}

std::array<uint8_t, 8> cassetteIdRecord(uint32_t id) {
    const uint16_t check = cassetteCheckValue(id);
    return {static_cast<uint8_t>(id),
            static_cast<uint8_t>(id >> 8),
            static_cast<uint8_t>(id >> 16),
            static_cast<uint8_t>(id >> 24),
            0x00,
            0x00,
            static_cast<uint8_t>(check),
            static_cast<uint8_t>(check >> 8)};
}

uint32_t cassetteIdFromReply(const std::array<uint8_t, 8>& r) {
    return static_cast<uint32_t>(r[2]) << 24 | static_cast<uint32_t>(r[3]) << 16 | static_cast<uint32_t>(r[4]) << 8 |
           r[5];
}

std::string formatCassetteId(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%010u", static_cast<unsigned>(id));
    return buf;
}

std::optional<uint32_t> parseCassetteId(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(v);
}

}  // namespace halvek
