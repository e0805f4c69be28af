#pragma once

#include <string>
#include <string_view>

namespace halvek {

// A code the unit sent (a coupon's), as it may be shown or written to a log:
// printable ASCII stays, every other byte (and the backslash) reads \xNN, so no byte of it can
// drive a terminal or a printer, and one event stays one line.
std::string shownCode(std::string_view code);

}  // namespace halvek
