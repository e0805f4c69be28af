#include "cli/terminal_text.h"

namespace halvek::cli {

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char ch : escapeForTerminal(s)) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + "\"";
}

}  // namespace halvek::cli
