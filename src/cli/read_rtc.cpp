#include <cstdio>

#include "cli/read_targets.h"
#include "pages/rtc/rtc_view.h"

namespace halvek::cli {

const char* rtcUnavailable(const LinkController& link) {
    return unitHasClock(link.stores().identity.unitType()) ? nullptr : rtctext::kNotAvailable;
}

// The clock as the RTC page shows it (month-day-year), and in JSON also as a date and a time.
void printRtc(const LinkController& link, std::ostream& out, bool json) {
    const RtcRecord& r = link.stores().rtc;
    if (!json) {
        out << rtcText(r) << "\n";
        return;
    }
    char date[32], time[32];
    std::snprintf(date, sizeof date, "20%02X-%02X-%02X", r[0], r[1], r[2]);
    std::snprintf(time, sizeof time, "%02X:%02X:%02X", r[4], r[5], r[6]);
    out << "{\"weekday\":" << jsonString(dayName(r[3])) << ",\"date\":" << jsonString(date)
        << ",\"time\":" << jsonString(time) << ",\"text\":" << jsonString(rtcText(r)) << "}\n";
}

}  // namespace halvek::cli
