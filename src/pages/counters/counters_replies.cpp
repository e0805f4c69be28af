#include "pages/counters/counters_replies.h"

#include <algorithm>

namespace halvek {

void storeQrvCounts(CounterStore& c, const Reply& r) {
    const size_t groups = std::min<size_t>(r.dataCount() / 4, kBillTypes);
    for (size_t k = 0; k < groups; ++k)
        c.qrvCounts[k] = static_cast<uint32_t>(r.data(4 * k)) << 24 | static_cast<uint32_t>(r.data(4 * k + 1)) << 16 |
                         static_cast<uint32_t>(r.data(4 * k + 2)) << 8 | r.data(4 * k + 3);
}

bool storeLifeCount(CounterStore& c, const Reply& r) {
    // A count cut short would read low: the bytes it lacks are not zeros.
    if (r.dataCount() < 3) return false;
    c.lifeCount = r.data(0) + 256u * r.data(1) + 65536u * r.data(2);
    return true;
}

void storeLastFive(CounterStore& c, const Reply& r) {
    for (size_t i = 0; i < 5; ++i) c.lastFive[i] = r.data(i);
}

}  // namespace halvek
