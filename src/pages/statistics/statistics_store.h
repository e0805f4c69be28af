#pragma once

#include <array>
#include <cstdint>

#include "pages/bills/bills_store.h"
#include "pages/common/event_descriptions.h"

namespace halvek {

struct StatisticsStore {
    std::array<uint16_t, kBillTypes> billCounts{};
    std::array<uint16_t, kEventKinds> eventCounts{};
    uint8_t lastEvent = 0;     // the event whose count has just grown by one; 0 = none
    uint8_t lastBillType = 0;  // the bill just stacked while the page was shown; 0 = none
    uint32_t acceptedTotal = 0;
    bool billPage = true;   // bill types 1-32 shown
    bool eventPage = true;  // events 1-9 shown
    bool received = false;  // a whole reply has been stored since start
    void clear() { *this = StatisticsStore{}; }
};

}  // namespace halvek
