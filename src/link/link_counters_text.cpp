#include "link/link_counters_text.h"

#include "link/link_controller.h"

namespace halvek {

namespace {

std::string count(uint32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string linkCountersText(const LinkCounters& c) {
    struct Part {
        uint32_t n;
        const char* one;
        const char* many;
    };
    const Part parts[] = {
        {c.badChecksums, "bad checksum", "bad checksums"},
        {c.damagedFrames, "damaged", "damaged"},
        {c.truncatedFrames, "cut short", "cut short"},
        {c.badHeaders, "bad header", "bad headers"},
        {c.unasked, "unasked", "unasked"},
        {c.unusable, "too short for its data", "too short for their data"},
    };
    uint32_t dropped = 0;
    std::string detail;
    for (const Part& p : parts) {
        if (p.n == 0) continue;
        dropped += p.n;
        detail += (detail.empty() ? "" : ", ") + count(p.n, p.one, p.many);
    }
    std::string text = count(dropped, "frame dropped", "frames dropped");
    if (!detail.empty()) text += " (" + detail + ")";
    text += ", " + std::to_string(c.retried) + " retried, " + std::to_string(c.givenUp) + " given up";
    // The host's own frames coming back are no fault of the unit, but of the line.
    if (c.echoes > 0) text += ", the line echoes (" + count(c.echoes, "echo", "echoes") + " dropped)";
    return text;
}

bool linkTroubleSeen(const LinkCounters& c) {
    return c.badChecksums + c.damagedFrames + c.truncatedFrames + c.badHeaders + c.unasked + c.unusable + c.retried +
               c.givenUp + c.echoes >
           0;
}

}  // namespace halvek
