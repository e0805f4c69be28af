#include "cli/read_targets.h"
#include "pages/common/panel_text.h"
#include "pages/statistics/statistics_view.h"

namespace halvek::cli {
namespace {

// The drawing area's left edge: the column the page's texts are counted from.
constexpr int kLeftEdge = 26;

// The page as it shows the first (or the second) half of the bills and events;
// the highlight stays on the page that holds it.
StatisticsView pageOf(const StatisticsStore& store, bool first) {
    StatisticsStore s = store;
    s.billPage = s.eventPage = first;
    s.lastBillType = 0;
    if ((s.lastEvent >= 10) == first) s.lastEvent = 0;
    return statisticsView(s);
}

std::string jsonNumber(const std::optional<double>& v) { return v ? meritText(*v) : "null"; }

}  // namespace

void printStatistics(const LinkController& link, std::ostream& out, bool json) {
    const StatisticsStore& s = link.stores().statistics;
    if (!json) {
        out << panelText(pageOf(s, true).drawing, kLeftEdge) << "\n" << panelText(pageOf(s, false).drawing, kLeftEdge);
        return;
    }
    out << "{\"acceptedTotal\":" << acceptedTotal(s) << ",\"bills\":[";
    for (size_t k = 0; k < s.billCounts.size(); ++k)
        out << (k ? "," : "") << "{\"type\":" << k + 1 << ",\"count\":" << s.billCounts[k] << "}";
    out << "],\"events\":[";
    for (size_t k = 0; k < StatisticsView::kShownEvents; ++k)
        out << (k ? "," : "") << "{\"number\":" << k + 1 << ",\"count\":" << s.eventCounts[k]
            << ",\"description\":" << jsonString(std::string(EventDescriptions[k])) << "}";
    out << "],\"lastEvent\":" << (s.lastEvent ? std::to_string(s.lastEvent) : "null")
        << ",\"performance\":" << jsonNumber(statisticsPerformance(s))
        << ",\"acceptance\":" << jsonNumber(statisticsAcceptance(s)) << "}\n";
}

}  // namespace halvek::cli
