#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "pages/common/panel_drawing.h"
#include "pages/statistics/statistics_store.h"

namespace halvek {

// What the Statistics page shows: a page of 32 bill types in four columns, a
// page of nine events, the accepted total and the figure of merit, with the
// bill and the event just seen highlighted. Built from the store without
// changing it; markStatisticsShown() then does what showing it does.
struct StatisticsView {
    static constexpr int kBillRows = 8, kBillColumns = 4, kBillsShown = kBillRows * kBillColumns;
    static constexpr int kEventsShown = 9;
    // Events 19 and 20 are never shown.
    static constexpr int kShownEvents = 18;

    struct BillCell {
        int type = 0;
        uint16_t count = 0;
        bool highlighted = false;
        std::string typeText, countText;
        int typeX = 0, countX = 0, y = 0;
    };
    struct EventRow {
        int number = 0;
        uint16_t count = 0;
        bool highlighted = false;
        std::string numberText, countText, description;
        int numberX = 0, y = 0;
    };

    bool billPage = true;   // after the choice the bill just seen makes
    bool eventPage = true;  // likewise for the event just seen
    std::array<BillCell, kBillsShown> bills{};
    std::array<EventRow, kEventsShown> events{};
    uint32_t acceptedTotal = 0;
    std::string totalText;
    std::string meritLabel, meritValue;
    bool meritPercent = false;  // " % " follows the value
    PanelDrawing drawing;
};

// The figure of merit of a store: nothing below 100 accepted bills, else the
// performance (bill types 1-32 shown) or the statistical acceptance (33-64).
std::optional<double> statisticsPerformance(const StatisticsStore& s);
std::optional<double> statisticsAcceptance(const StatisticsStore& s);
// A percentage as shown: whole part, a point and the hundredths, truncated.
std::string meritText(double value);
// "not enough data", or the value's text.
std::string meritText(const std::optional<double>& value);

uint32_t acceptedTotal(const StatisticsStore& s);

StatisticsView statisticsView(const StatisticsStore& store);
// Showing the page turns the paging to what it showed, spends the highlights
// (they mark what changed since it was last shown) and keeps the total.
void markStatisticsShown(StatisticsStore& store, const StatisticsView& shown);

// The paging buttons: a click shows the other page and names the one it would go back to.
bool toggleBillPage(StatisticsStore& store);   // the new flag: true = types 1-32
bool toggleEventPage(StatisticsStore& store);  // true = events 1-9

// Texts of the page.
namespace statistics_text {
inline constexpr const char* kTotal = "accepted bills total:";
inline constexpr const char* kEventHeading = "Num  Count     Event description";
inline constexpr const char* kPerformance = "PERFORMANCE:";
inline constexpr const char* kAcceptance = "stat. accptance:";
inline constexpr const char* kNotEnoughData = "not enough data";
inline constexpr const char* kPercent = " % ";
inline constexpr const char* kClear = "Clear Stats";
inline constexpr const char* kRead = "Read Stats";
inline constexpr const char* kNextBills = "Next 32 Bills";
inline constexpr const char* kPrevBills = "Prev 32 Bills";
inline constexpr const char* kNextEvents = "Next 9 Events";
inline constexpr const char* kPrevEvents = "Prev 9 Events";
}  // namespace statistics_text

}  // namespace halvek
