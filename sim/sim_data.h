#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace halvek::sim {

using Bytes = std::vector<uint8_t>;

enum class Variant { L8, L8V };

// One bill type the simulated unit knows.
struct Note {
    uint8_t type;
    const char* currency;
    uint32_t value;
};

// Seven notes of one currency and the coupon (type 16).
const std::vector<Note>& defaultNotes();

// Data replies, plausible enough to pass the host's page checks unless asked to fail.
Bytes creditTableData(const std::vector<Note>& notes);  // extended layout: lead byte, 6-byte records
Bytes unitOptionsData(const std::vector<Note>& notes);  // standard layout: lead byte, 5-byte records
Bytes sensorData(Variant v, bool fail);                 // 28 bytes (L8V) or 9 bytes (L8)
Bytes opticsData(Variant v, bool fail);                 // 392 bytes
Bytes videoData(Variant v, int samples, bool fail);     // samples x 56 bytes

// Value encodings of the bill table replies.
void encodeExtendedValue(uint32_t value, uint8_t& mantissa, int8_t& exponent);
uint8_t encodeStandardValue(uint32_t value);

}  // namespace halvek::sim
