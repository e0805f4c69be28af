#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvek {

// The cassette's identification number: its check value, the record the
// "write cassette ID" command carries, and its ten-digit text.

// CRC-16 (polynomial 0x8005, register starting at 1234) over the number least
// significant byte first and two zero bytes: the cassette refuses an ID whose
// check value does not match.
uint16_t cassetteCheckValue(uint32_t id);

// The record as the stores keep it: identity least significant byte first
// (six bytes, the top two 0), then the check value low byte first.
std::array<uint8_t, 8> cassetteIdRecord(uint32_t id);

// The ID in the reply to "read cassette ID": bytes 2 to 5, most significant first.
uint32_t cassetteIdFromReply(const std::array<uint8_t, 8>& reply);

// Ten digits, zero-padded. IDs above 2147483647 are shown unsigned, so that
// every ID keeps ten digits and a log line keeps its line end.
std::string formatCassetteId(uint32_t id);

// Digits only, 0 to 4294967295; nothing for anything else.
std::optional<uint32_t> parseCassetteId(std::string_view text);

}  // namespace halvek
