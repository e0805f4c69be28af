#pragma once

#include <cstdint>
#include <span>

namespace halvek {

constexpr uint16_t kCrc16Poly = 0x8005;      // CRC_16
constexpr uint16_t kCcittPoly = 0x1021;      // CC_ITT
constexpr uint32_t kCrc32Poly = 0xEDB88320;  // CRC_32, reflected

// Table-driven, most significant bit first, register starting at the seed, no final XOR.
uint16_t crc16(uint16_t polynomial, uint16_t seed, std::span<const uint8_t> bytes);
// Reflected; the register starts at the seed as given (not inverted); the result is inverted.
uint32_t crc32(uint32_t seed, std::span<const uint8_t> bytes);

// Running forms, for data that arrive in pieces (a file read in blocks).
uint16_t crc16Update(uint16_t polynomial, uint16_t reg, std::span<const uint8_t> bytes);
// Through zlib's crc32, which keeps its register inverted between calls: the
// unit's register, not inverted, maps onto it by inverting it on the way in
// and out.
uint32_t crc32Update(uint32_t reg, std::span<const uint8_t> bytes);
// The same one byte at a time from a table: slow, plain to read, and the
// reference the fast form is held to.
uint32_t crc32UpdateReference(uint32_t reg, std::span<const uint8_t> bytes);

}  // namespace halvek
