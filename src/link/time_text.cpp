#include "link/time_text.h"

#include <cstdio>
#include <ctime>

namespace halvek {

std::string isoTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const time_t seconds = system_clock::to_time_t(when);
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
    tm local{};
    localtime_r(&seconds, &local);
    char date[32], offset[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(offset, sizeof offset, "%z", &local);  // +hhmm
    char out[64];
    std::snprintf(out, sizeof out, "%s.%03d%.3s:%.2s", date, static_cast<int>(ms < 0 ? ms + 1000 : ms), offset,
                  offset + 3);
    return out;
}

}  // namespace halvek
