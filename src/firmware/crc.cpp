#include "firmware/crc.h"

#include <zlib.h>

#include <array>

namespace halvek {
namespace {

using Table16 = std::array<uint16_t, 256>;

constexpr Table16 makeTable16(uint16_t poly) {
    Table16 t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k) r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ poly : r << 1);
        t[i] = r;
    }
    return t;
}

constexpr std::array<uint32_t, 256> makeTable32() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ kCrc32Poly : r >> 1;
        t[i] = r;
    }
    return t;
}

constexpr Table16 kTable8005 = makeTable16(kCrc16Poly);
constexpr Table16 kTable1021 = makeTable16(kCcittPoly);
constexpr auto kTable32 = makeTable32();

}  // namespace

uint16_t crc16Update(uint16_t polynomial, uint16_t reg, std::span<const uint8_t> bytes) {
    // The two polynomials the tools offer have their tables made at build time;
    // any other is worked out once per call.
    Table16 other{};
    const Table16* table = &kTable8005;
    if (polynomial == kCcittPoly) {
        table = &kTable1021;
    } else if (polynomial != kCrc16Poly) {
        other = makeTable16(polynomial);
        table = &other;
    }
    for (uint8_t b : bytes) reg = static_cast<uint16_t>((*table)[(b ^ (reg >> 8)) & 0xFF] ^ (reg << 8));
    return reg;
}

uint16_t crc16(uint16_t polynomial, uint16_t seed, std::span<const uint8_t> bytes) {
    return crc16Update(polynomial, seed, bytes);
}

uint32_t crc32UpdateReference(uint32_t reg, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) reg = (reg >> 8) ^ kTable32[(b ^ reg) & 0xFF];
    return reg;
}

uint32_t crc32Update(uint32_t reg, std::span<const uint8_t> bytes) {
    // zlib's crc32 of no buffer at all is its start value, whatever the register.
    if (bytes.empty()) return reg;
    return ~static_cast<uint32_t>(::crc32_z(~reg & 0xFFFFFFFFul, bytes.data(), bytes.size()));
}

uint32_t crc32(uint32_t seed, std::span<const uint8_t> bytes) { return ~crc32Update(seed, bytes); }

}  // namespace halvek
