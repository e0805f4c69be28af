#pragma once

#include <cstdint>

namespace halvek {

struct CrcStore {
    uint16_t polynomial = 0x8005;
    uint16_t seed16 = 0;
    uint32_t seed32 = 0;
    uint16_t result16 = 0;
    uint32_t result32 = 0;
    uint8_t lastRead = 0;  // the code of the read stored last ("Read CRC 16" or "Read CRC 32")
};

}  // namespace halvek
