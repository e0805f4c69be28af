#pragma once

#include "pages/statistics/statistics_store.h"
#include "protocol/reply.h"

namespace halvek {

// How the replies of this page's data are stored: pure functions of the reply
// and the store, so that each layout is checked without a line or a controller.
void storeStatistics(StatisticsStore& stats, const Reply& r);

}  // namespace halvek
