#pragma once

#include <array>
#include <cstdint>

namespace halvek {

struct CassetteDataStore {
    std::array<uint16_t, 16> billCounts{};  // index = bill type; 1-15 filled
    std::array<uint8_t, 20> faultCounts{};
    std::array<uint8_t, 8> idReply{};
    int faultPage = 0;
    std::array<uint8_t, 8> idToWrite{};  // identity (least significant first), check value (low first)
    uint8_t stackerSensor = 0;
};

}  // namespace halvek
