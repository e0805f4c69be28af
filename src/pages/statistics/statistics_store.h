#pragma once

#include <array>
#include <cstdint>

#include "pages/bills/bills_store.h"

namespace halvek {

struct StatisticsStore {
    std::array<uint16_t, kBillTypes> billCounts{};
    std::array<uint16_t, 20> eventCounts{};
    uint8_t lastEvent = 0;
    uint8_t lastBillType = 0;
    uint32_t acceptedTotal = 0;
    bool billPage = true;   // bill types 1-32 shown
    bool eventPage = true;  // events 1-9 shown
    void clear() { *this = StatisticsStore{}; }
};

}  // namespace halvek
