#pragma once

#include "pages/rtc/rtc_store.h"
#include "protocol/reply.h"

namespace halvek {

// The clock record from its first byte: as many bytes as the reply holds, at most the record's eight.
void storeRtc(RtcRecord& rtc, const Reply& r);

}  // namespace halvek
