#include "pages/bills/bills_store.h"

#include <cstdint>

namespace halvek {

std::string BillStore::currency(int type) const {
    if (!known(type)) return "";
    const auto& r = table[static_cast<size_t>(type - 1)];
    std::string s;
    for (size_t i = 1; i <= 3 && r[i] != 0; ++i) s += static_cast<char>(r[i]);
    return s;
}

namespace {

int32_t powerOfTen(int32_t v, int e) {
    for (int i = 0; i < e && v != 0; ++i) {
        if (v > INT32_MAX / 10) return INT32_MAX;  // a byte times 10^15 does not fit: keep it saturated
        v *= 10;
    }
    return v;
}

}  // namespace

void BillStore::recomputeValues(bool extended) {
    const size_t rows = extended ? kBillTypes : 16;
    for (size_t k = 0; k < rows; ++k) {
        const auto& r = table[k];
        if (r[0] == 0) continue;
        const size_t type = k + 1;
        if (type == kCouponType) {
            values[type] = 1;
        } else if (extended) {
            const auto e = static_cast<int8_t>(r[5]);
            int32_t v = r[4];
            if (e >= 0)
                v = powerOfTen(v, e);
            else
                for (int i = 0; i < -e; ++i) v /= 10;
            values[type] = v;
        } else {
            values[type] = powerOfTen(r[4] >> 4, r[4] & 0x0F);
        }
    }
}

}  // namespace halvek
