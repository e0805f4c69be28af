#pragma once

#include <array>
#include <cstdint>

namespace halvek {

struct IdentityStore {
    std::array<char, 9> revision{};  // eight characters and a terminating zero
    uint16_t revisionNumber = 0;
    std::array<uint8_t, 2> systemId{};  // BCD, thousands and hundreds first
    std::array<uint8_t, 6> assetNumber{};
    std::array<uint8_t, 2> factoryNumber{};   // BCD
    std::array<uint8_t, 2> productionDate{};  // week, year: BCD
    int32_t burnCycles = 0;
    std::array<uint8_t, 4> serialNumber{};
    char unitType() const { return revision[4]; }
};

}  // namespace halvek
