#include "validator_memory.h"

#include <algorithm>
#include <ctime>

namespace halvek::sim {
namespace {

// A program image that stays the same from run to run, so that CRCs over it can be compared.
int fromBcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }
uint8_t toBcd(int v) { return static_cast<uint8_t>(((v / 10) % 10) << 4 | v % 10); }

}  // namespace

ValidatorMemory::ValidatorMemory(std::vector<Note> billTable) : notes(std::move(billTable)) {
    for (const Note& n : notes) enabled[n.type - 1] = true;
}

bool ValidatorMemory::anyEnabled() const {
    return std::any_of(enabled.begin(), enabled.end(), [](bool e) { return e; });
}

void ValidatorMemory::restoreDefaults() {
    setup = setupbit::EscrowOn;
    for (const Note& n : notes) enabled[n.type - 1] = true;
}

void ValidatorMemory::countEvent(int number) {
    if (number < 1 || number > 20) return;
    ++eventCounts[static_cast<size_t>(number - 1)];
    cassette.countFault(number);
}

void ValidatorMemory::countStacked(int type) {
    if (type >= 1 && type <= 64) {
        const auto slot = static_cast<size_t>(type - 1);
        ++billCounts[slot];
        ++qrvCounts[slot];
        cassette.countBill(type);
    }
    if (type == 16) acceptAll.stop();  // a coupon ends the accept-all period
    ++lifeCount;
    std::rotate(lastFive.rbegin(), lastFive.rbegin() + 1, lastFive.rend());
    lastFive[0] = static_cast<uint8_t>(type);
}

Bytes ValidatorMemory::readClock() const {
    const time_t now = time(nullptr) + rtcOffsetSeconds;
    tm t{};
    localtime_r(&now, &t);
    return {toBcd(t.tm_year % 100), toBcd(t.tm_mon + 1), toBcd(t.tm_mday), toBcd(t.tm_wday + 1),
            toBcd(t.tm_hour),       toBcd(t.tm_min),     toBcd(t.tm_sec),  rtcByte7};
}

void ValidatorMemory::setClock(const Bytes& r) {
    if (r.size() < 7) return;
    tm t{};
    t.tm_year = 100 + fromBcd(r[0]);
    t.tm_mon = fromBcd(r[1]) - 1;
    t.tm_mday = fromBcd(r[2]);
    t.tm_hour = fromBcd(r[4]);
    t.tm_min = fromBcd(r[5]);
    t.tm_sec = fromBcd(r[6]);
    t.tm_isdst = -1;
    const time_t set = mktime(&t);
    if (set == static_cast<time_t>(-1)) return;
    rtcOffsetSeconds = static_cast<int64_t>(set) - static_cast<int64_t>(time(nullptr));
    rtcByte7 = r.size() > 7 ? r[7] : 0;
}

}  // namespace halvek::sim
