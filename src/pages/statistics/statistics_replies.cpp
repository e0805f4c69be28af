#include "pages/statistics/statistics_replies.h"

namespace halvek {
namespace {

// A short frame has room for the first sixteen bill types only.
constexpr size_t kStandardBillTypes = 16;

size_t billTypesOf(bool extended) { return extended ? kBillTypes : kStandardBillTypes; }

}  // namespace

size_t statisticsReplySize(bool extended) { return 2 * (billTypesOf(extended) + kEventKinds); }

bool storeStatistics(StatisticsStore& stats, const Reply& r) {
    if (r.dataCount() < statisticsReplySize(r.extended())) return false;
    const size_t types = billTypesOf(r.extended());
    for (size_t k = 0; k < types; ++k) stats.billCounts[k] = r.data16le(2 * k);
    const size_t events = 2 * types;
    for (size_t k = 0; k < kEventKinds; ++k) {
        const uint16_t v = r.data16le(events + 2 * k);
        // A count that grew by exactly one is the event just seen; the later one wins.
        // Event 1 is never kept, so it would seem to grow at every read.
        if (k > 0 && v == stats.eventCounts[k] + 1) stats.lastEvent = static_cast<uint8_t>(k + 1);
        stats.eventCounts[k] = v;
    }
    // Event 1 is not used: whatever the unit counts there is not shown.
    stats.eventCounts[0] = 0;
    stats.received = true;
    return true;
}

}  // namespace halvek
