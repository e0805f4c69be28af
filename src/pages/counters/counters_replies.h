#pragma once

#include "pages/counters/counters_store.h"
#include "protocol/reply.h"

namespace halvek {

// How the replies of this page's data are stored: pure functions of the reply
// and the store, so that each layout is checked without a line or a controller.
void storeQrvCounts(CounterStore& counters, const Reply& r);
// False, with the store as it was, for a reply too short to hold the count.
bool storeLifeCount(CounterStore& counters, const Reply& r);
void storeLastFive(CounterStore& counters, const Reply& r);

}  // namespace halvek
