#include "pages/rtc/rtc_replies.h"

#include <algorithm>

namespace halvek {

void storeRtc(RtcRecord& rtc, const Reply& r) {
    const size_t n = std::min<size_t>(r.dataCount(), rtc.size());
    for (size_t i = 0; i < n; ++i) rtc[i] = r.data(i);
}

}  // namespace halvek
