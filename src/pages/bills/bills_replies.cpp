#include "pages/bills/bills_replies.h"

#include <algorithm>

namespace halvek {
namespace {

void storeRecords(BillStore& bills, const Reply& r, size_t count, size_t first, size_t size) {
    for (size_t i = 0; i < count; ++i) {
        const size_t at = first + i * size;
        const uint8_t type = r.byte(at);
        if (!BillStore::known(type)) continue;  // no slot for it
        auto& slot = bills.table[type - 1];
        slot[0] = type;
        for (size_t b = 1; b < size; ++b) slot[b] = r.byte(at + b);
    }
}

}  // namespace

void storeBillEnable(BillStore& bills, const Reply& r) {
    if (r.extended()) {
        for (size_t j = 0; j < r.dataCount() && j < 8; ++j)
            for (size_t k = 0; k < 8; ++k) bills.enabled[8 * j + k] = (r.data(j) >> k) & 1;
        return;
    }
    // Standard layout: a 16-bit mask, high byte first: types 9-16, then 1-8.
    for (size_t k = 0; k < 8; ++k) {
        bills.enabled[8 + k] = (r.data(0) >> k) & 1;
        bills.enabled[k] = (r.data(1) >> k) & 1;
    }
}

void storeSecurity(BillStore& bills, const Reply& r) {
    for (size_t j = 0; j < r.dataCount() && j < 8; ++j)
        for (size_t k = 0; k < 8; ++k) bills.security[8 * j + k] = (r.data(j) >> k) & 1;
}

void storeCreditTable(BillStore& bills, const Reply& r) {
    const size_t length = r.length();
    storeRecords(bills, r, length < 14 ? 0 : (length - 8) / 6, 6, 6);
    bills.recomputeValues(true);
    bills.tableLoaded = true;
}

void storeUnitOptions(BillStore& bills, const Reply& r) {
    const size_t length = r.byte(1);
    storeRecords(bills, r, length < 10 ? 0 : (length - 5) / 5, 4, 5);
    bills.recomputeValues(false);
    bills.tableLoaded = true;
}

}  // namespace halvek
