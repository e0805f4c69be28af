#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace halvek {

constexpr int kBillTypes = 64;
constexpr int kCouponType = 16;

struct BillStore {
    // Slot k holds bill type k + 1: type number (0 = empty slot), three
    // currency letters, value byte, exponent byte (extended layout only).
    std::array<std::array<uint8_t, 6>, kBillTypes> table{};
    std::array<int32_t, kBillTypes + 1> values{};  // whole currency units, index = bill type
    std::array<uint8_t, kBillTypes> enabled{};     // index = bill type - 1
    std::array<uint8_t, kBillTypes> security{};
    bool tableLoaded = false;

    static bool known(int type) { return type >= 1 && type <= kBillTypes; }
    std::string currency(int type) const;  // the three letters ("" for an unknown type)
    int32_t value(int type) const { return known(type) ? values[static_cast<size_t>(type)] : 0; }
    // Recomputes the values from the table: rows 1-64 (extended) or 1-16 (standard).
    void recomputeValues(bool extended);
};

}  // namespace halvek
