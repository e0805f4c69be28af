#include "cli/read_targets.h"
#include "pages/counters/counters_view.h"

namespace halvek::cli {
namespace {

std::string jsonCount(uint32_t count) { return count >= kFirstUnknownCount ? "null" : std::to_string(count); }

}  // namespace

// The QRV counts come only in extended frames; in standard mode they are not shown.
void printCounters(const LinkController& link, std::ostream& out, bool json) {
    const CounterStore& c = link.stores().counters;
    const bool qrv = link.extendedMode();
    if (json) {
        out << "{\"lifeCount\":" << jsonCount(c.lifeCount) << ",\"lastFive\":[";
        for (size_t i = 0; i < c.lastFive.size(); ++i) out << (i ? "," : "") << int{c.lastFive[i]};
        out << "],\"qrvCounts\":";
        if (!qrv) {
            out << "null}\n";
            return;
        }
        out << "[";
        for (size_t k = 0; k < c.qrvCounts.size(); ++k) out << (k ? "," : "") << jsonCount(c.qrvCounts[k]);
        out << "]}\n";
        return;
    }
    out << "life count   " << countText(c.lifeCount) << "\nlast five   ";
    for (uint8_t t : c.lastFive) out << " " << (t < 10 ? "0" : "") << int{t};
    out << "\n";
    if (!qrv) return;
    // Types the unit knows, and any other that counted something.
    for (size_t k = 0; k < c.qrvCounts.size(); ++k) {
        const int type = static_cast<int>(k) + 1;
        if (c.qrvCounts[k] == 0 && link.stores().bills.value(type) == 0) continue;
        out << "QRV type " << (type < 10 ? "0" : "") << type << "  " << countText(c.qrvCounts[k]) << "\n";
    }
}

}  // namespace halvek::cli
