#pragma once

#include "pages/statistics/statistics_store.h"
#include "protocol/reply.h"

namespace halvek {

// Bytes of a statistics reply: the bill counts of the frame's layout, then the twenty event counts.
size_t statisticsReplySize(bool extended);

// Stores a "read stats" reply. A reply shorter than its layout is not the
// unit's statistics: it is refused (false) and the store stays as it was.
bool storeStatistics(StatisticsStore& stats, const Reply& r);

}  // namespace halvek
