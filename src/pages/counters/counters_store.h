#pragma once

#include <array>
#include <cstdint>

#include "pages/bills/bills_store.h"

namespace halvek {

struct CounterStore {
    std::array<uint32_t, kBillTypes> qrvCounts{};
    uint32_t lifeCount = 0;
    std::array<uint8_t, 5> lastFive{};
};

}  // namespace halvek
