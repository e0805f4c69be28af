#include "pages/counters/counters_view.h"

#include <cstdio>

namespace halvek {
namespace {

std::string typeLabel(size_t row) {
    char buf[16];
    std::snprintf(buf, sizeof buf, " %02zu  ", row + 1);
    return buf;
}

}  // namespace

std::string countText(uint32_t count) {
    if (count >= kFirstUnknownCount) return counterstext::kUnknown;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08u", count);
    return buf;
}

CountersView countersView(const CounterStore& c, CounterSelection selection) {
    CountersView v;
    switch (selection) {
        case CounterSelection::Qrv:
            v.colour = kQrvColour;
            for (size_t k = 0; k < kCounterRows; ++k) v.rows[k] = {typeLabel(k), countText(c.qrvCounts[k])};
            break;
        case CounterSelection::Life:
            v.colour = kLifeColour;
            v.rows[0] = {"count", countText(c.lifeCount)};
            for (size_t k = 1; k < 5; ++k) v.rows[k] = {typeLabel(k), "xxxxxxxx"};
            break;
        case CounterSelection::LastFive:
            v.colour = kLastFiveColour;
            for (size_t k = 0; k < 5; ++k) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "type %02u", static_cast<unsigned>(c.lastFive[k]));
                v.rows[k] = {k == 0 ? "last->" : typeLabel(k), buf};
            }
            break;
    }
    return v;
}

}  // namespace halvek
