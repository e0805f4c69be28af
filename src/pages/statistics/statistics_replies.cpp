#include "pages/statistics/statistics_replies.h"

namespace halvek {

void storeStatistics(StatisticsStore& stats, const Reply& r) {
    const size_t types = r.extended() ? 64 : 16;
    for (size_t k = 0; k < types; ++k) stats.billCounts[k] = r.data16le(2 * k);
    const size_t events = 2 * types;
    for (size_t k = 0; k < 20; ++k) {
        const uint16_t v = r.data16le(events + 2 * k);
        if (v == stats.eventCounts[k] + 1) stats.lastEvent = static_cast<uint8_t>(k + 1);
        stats.eventCounts[k] = v;
    }
    stats.eventCounts[0] = 0;
}

}  // namespace halvek
