#include "link/texts.h"

#include <cstdio>

namespace halvek::text {

const char* stateName(int state) {
    static const char* const kNames[] = {"",       "power-up", "idle",      "accepting",
                                         "escrow", "stacking", "rejecting", "inhibit"};
    return state >= 0 && state <= 7 ? kNames[state] : "";
}

std::string rejectionText(uint8_t reason) {
    struct Row {
        uint8_t code;
        const char* text;
    };
    static const Row kReasons[] = {
        {0x00, "rejected before evaluation"}, {0x07, "failed optical test"},          {0x08, "denomination disabled"},
        {0x0B, "duplicate correlation"},      {0x0E, "rejected - stringing attempt"}, {0x0F, "unable to eject bill"},
        {0x10, "all bills disabled"},         {0x12, "rejected by controller"},
    };
    for (const Row& r : kReasons)
        if (r.code == reason) return r.text;
    char buf[32];
    std::snprintf(buf, sizeof buf, "error code : %02X", reason);
    return buf;
}

std::string modeCaption(bool interrupt, int pollIntervalMs) {
    if (interrupt) return kInterruptMode;
    char buf[48];
    std::snprintf(buf, sizeof buf, "Polling Mode - %d ms", pollIntervalMs);
    return buf;
}

std::string windowTitle() {
    char buf[96];
    std::snprintf(buf, sizeof buf, kTitleFormat, kTitleRevision);
    return buf;
}

}  // namespace halvek::text
