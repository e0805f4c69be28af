#include "pages/bills/bill_row.h"

#include <cstdio>

namespace halvek {

BillRow placeholderBillRow(int row) {
    char type[24];
    std::snprintf(type, sizeof type, " %02d  ___", row + 1);
    return {type, "____", "____", "____", false};
}

std::optional<BillRow> billRow(const BillStore& bills, int row, bool extended) {
    if (row < 0 || row >= (extended ? kBillTypes : 16)) return std::nullopt;
    const auto slot = static_cast<size_t>(row);  // in range, checked above
    if (bills.table[slot][0] == 0) return std::nullopt;
    const int type = row + 1;
    BillRow r;
    if (type == kCouponType) {
        r.type = "   COUPON ";
    } else {
        char text[40];
        std::snprintf(text, sizeof text, " %02d    %06d   ", type, bills.value(type));
        r.type = text;
    }
    r.currency = bills.currency(type);
    r.checked = bills.enabled[slot] != 0;
    r.state = r.checked ? "EN" : "dis";
    r.security = bills.security[slot] ? "EN" : "dis";
    return r;
}

}  // namespace halvek
