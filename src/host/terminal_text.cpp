#include "host/terminal_text.h"

#include <cstdio>

namespace halvek {

// A byte the unit sent reaches the terminal only as plain printable ASCII:
// everything else is written as an escape, so a coupon code holding escape
// sequences cannot drive the terminal, and one happening stays one line.
std::string escapeForTerminal(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);  // the byte, whatever the sign of char
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string shownMessage(const Message& m) {
    std::string line = m.title + ": " + m.text;
    if (!m.detail.empty()) line += " (" + escapeForTerminal(m.detail) + ")";
    return line;
}

}  // namespace halvek
