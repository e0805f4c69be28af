#pragma once

#include <chrono>
#include <string>

namespace halvek {

// Local time as ISO 8601 with milliseconds and the offset from UTC:
// "2026-12-10T13:40:01.123+01:00".
std::string isoTimestamp(std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

}  // namespace halvek
