#pragma once

#include <optional>
#include <string>

#include "pages/bills/bills_store.h"

namespace halvek {

// The texts of one row of the bill list (bill types and their enable state).
struct BillRow {
    std::string type;      // " Billl Type, Credit"
    std::string currency;  // "cur."
    std::string state;     // "stat": "EN" or "dis"
    std::string security;  // "sec"
    bool checked = false;
};

// What a row shows before the bill table is known (row 0 = type 1).
BillRow placeholderBillRow(int row);
// What a row shows after a bill table reply; nothing when the row stays as it is
// (no bill in that slot, or beyond the 16 types of the standard layout).
std::optional<BillRow> billRow(const BillStore& bills, int row, bool extended);

}  // namespace halvek
