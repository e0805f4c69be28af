#pragma once

#include <cstdint>
#include <string>

#include "firmware/crc_test/crc_algorithm.h"

namespace halvek {

// The two seed boxes read as hexadecimal: an empty box counts as 0000, and a
// valid text comes back with leading zeros to four digits. Only 0-9 and A-F
// are digits (the boxes turn typing into upper case); at most four of them.
// The high box counts only for CRC_32 (wide): it is disabled for the others,
// and whatever it holds then is neither checked nor rewritten.
struct SeedCheck {
    bool valid = false;
    std::string low, high;  // the texts to show again
    CrcSeeds seeds;
};

SeedCheck checkSeeds(const std::string& lowText, const std::string& highText, bool wide);

}  // namespace halvek
