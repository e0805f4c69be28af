#include "pages/rtc/rtc_view.h"

#include <cstdio>

#include "pages/common/entry_check.h"

namespace halvek {

bool unitHasClock(char unitType) { return unitType != 'V' && unitType != 'L' && unitType != 'S'; }

const char* dayName(uint8_t weekday) {
    static constexpr const char* kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    return weekday >= 1 && weekday <= 7 ? kDays[weekday - 1] : kDays[0];
}

RtcRecord rtcRecordOf(const std::tm& t) {
    auto bcd = [](int v) { return toBcd2(static_cast<uint32_t>(v % 100)); };
    return {bcd(t.tm_year + 1900), bcd(t.tm_mon + 1), bcd(t.tm_mday), bcd(t.tm_wday + 1),
            bcd(t.tm_hour),        bcd(t.tm_min),     bcd(t.tm_sec),  0};
}

std::string rtcText(const RtcRecord& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, rtctext::kFormat, dayName(r[3]), r[1], r[2], r[0], r[4], r[5], r[6]);
    return buf;
}

}  // namespace halvek
