#pragma once

#include <ctime>
#include <string>

#include "pages/rtc/rtc_store.h"

namespace halvek {

namespace rtctext {
inline constexpr const char* kPcGroup = "Local PC Time";
inline constexpr const char* kUnitGroup = "Validator's Time";
inline constexpr const char* kSyncGroup = "Synchronize";
inline constexpr const char* kSet = "Set new RTC";
inline constexpr const char* kRead = "Read RTC";
inline constexpr const char* kInitial = "SUN, 00-00-00,          00:00:00";
inline constexpr const char* kNotAvailable = "Real Time Clock not available";
inline constexpr const char* kNoRtc = "This unit type does not have RTC";
inline constexpr const char* kFormat = "%s, %02X-%02X-%02X,          %02X:%02X:%02X";
}  // namespace rtctext

// The page renews the PC time once a second.
inline constexpr int kRtcTickMs = 1000;

// Units whose type letter (the fifth character of the program revision) is
// V, L or S have no clock. An unknown revision (not read yet) passes.
bool unitHasClock(char unitType);

// The PC's local time as a clock record: BCD year (last two digits), month,
// day, weekday (1 = Sunday), hour, minute, second; byte 7 is 0.
RtcRecord rtcRecordOf(const std::tm& local);
// "TUE, 12-04-07,          14:05:09": day name, month-day-year, time.
std::string rtcText(const RtcRecord& record);
// The day name of a weekday byte (1 = Sunday); SUN for anything outside 1-7.
const char* dayName(uint8_t weekday);

}  // namespace halvek
