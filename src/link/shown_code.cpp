#include "link/shown_code.h"

#include <cstdint>
#include <cstdio>

namespace halvek {

std::string shownCode(std::string_view code) {
    std::string out;
    for (const char c : code) {
        const auto b = static_cast<uint8_t>(c);
        // A backslash of the code is escaped too, so \xNN always means a byte.
        if (b >= 0x20 && b <= 0x7E && b != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(b));
            out += buf;
        }
    }
    return out;
}

}  // namespace halvek
