#include "pages/identity/identity_view.h"

#include <algorithm>
#include <cstdio>

namespace halvek {
namespace {

std::string hexPair(const std::array<uint8_t, 2>& b, const char* format = "%02X%02X") {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, b[0], b[1]);
    return buf;
}

}  // namespace

std::string revisionText(const IdentityStore& id) { return std::string(id.revision.data()); }
std::string systemIdText(const IdentityStore& id) { return hexPair(id.systemId); }
std::string factoryNumberText(const IdentityStore& id) { return hexPair(id.factoryNumber); }
std::string productionDateText(const IdentityStore& id) { return hexPair(id.productionDate, "wk %02X/of %02X"); }
std::string burnCyclesText(const IdentityStore& id) { return std::to_string(id.burnCycles); }

std::string assetNumberText(const IdentityStore& id) {
    const auto& a = id.assetNumber;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X%02X%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return buf;
}

WeekPreset weekPreset(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int dayOfYear = day;
    for (int m = 1; m < month && m <= 12; ++m) dayOfYear += (m == 2 && year % 4 == 0) ? 29 : kDays[m - 1];
    const int week = std::clamp((dayOfYear + 6) / 7, static_cast<int>(kWeekMin), static_cast<int>(kWeekMax));
    return {static_cast<uint32_t>(week), static_cast<uint32_t>(std::clamp(year - 2000, 0, 99))};
}

}  // namespace halvek
