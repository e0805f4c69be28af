#include "capture/capture_line.h"

#include <cstdio>

#include "capture/capture_texts.h"

namespace halvek::capture {

void appendCaptureLine(std::string& out, const uint8_t* frame, size_t length, bool sent, int64_t elapsedMs) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char prefix[48];
    const int n = std::snprintf(prefix, sizeof prefix, sent ? kCommandPrefix : kReplyPrefix, elapsedMs);
    out.append(prefix, static_cast<size_t>(n));
    out.reserve(out.size() + length * 3 + 8);
    for (size_t i = 0; i < length; ++i) {
        const char cell[3] = {kHex[frame[i] >> 4], kHex[frame[i] & 0x0F], ' '};
        out.append(cell, 3);
    }
    out += sent ? kCommandSuffix : kReplySuffix;
}

}  // namespace halvek::capture
