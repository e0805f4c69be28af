#include "pages/statistics/statistics_view.h"

#include <cmath>
#include <cstdio>

namespace halvek {
namespace {

using namespace statistics_text;

constexpr Rgb kHeading{0, 255, 0};
constexpr Rgb kNumber{170, 170, 170};
constexpr Rgb kCount{0, 255, 255};
constexpr Rgb kDescription{170, 255, 170};
constexpr Rgb kHighlight{119, 119, 119};
constexpr Rgb kRule{0, 159, 159};
constexpr Rgb kBlack{0, 0, 0};

// Where things go, in client pixels.
constexpr int kHeadingY = 203, kFirstRowY = 219, kRowStep = 16;
constexpr int kBillColumnStep = 67, kBillTypeX = 29, kBillCountX = 51;
constexpr int kBillBoxLeft = 2, kBillBoxWidth = 44;  // the box starts a little left of its count
constexpr int kTotalLabelX = 36, kTotalX = 176;
constexpr int kEventHeadingX = 309, kEventNumberX = 321, kEventNumberTwoDigitsX = 315, kEventCountX = 351;
constexpr int kDescriptionX = 401;
constexpr int kEventBoxX = 341, kEventBoxWidth = 55;
constexpr int kBoxHeight = 15;
constexpr int kMeritY = 347, kMeritLabelX = 36, kMeritValueX = 156, kPercentX = 196;
// Below this many accepted bills the rates say nothing.
constexpr uint32_t kMeritMinimum = 100;
// Optical, security and magnetic rejections weigh 4/9 in the performance.
constexpr double kRejectionWeight = 0.4444444444444444;

std::string decimal(long v) { return std::to_string(v); }

std::string twoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Accepted plus disabled entries, and the optical, security and magnetic rejections.
struct Tallies {
    double good, rejected;
};
std::optional<Tallies> tallies(const StatisticsStore& s) {
    const uint32_t total = acceptedTotal(s);
    if (total < kMeritMinimum) return std::nullopt;
    const auto& e = s.eventCounts;
    return Tallies{static_cast<double>(total) + e[2], static_cast<double>(e[1]) + e[3] + e[6]};
}

void drawGrid(PanelDrawing& d) {
    for (int x : {306, 341, 396, 606}) d.line(x, kHeadingY, x, 364, kRule);
    d.line(26, kHeadingY, 26, 364, kRule);
    for (int x : {93, 160, 227}) d.line(x, kFirstRowY, x, 348, kRule);
    d.line(26, kHeadingY - 1, 606, kHeadingY - 1, kRule);
    d.line(26, kFirstRowY - 1, 606, kFirstRowY - 1, kRule);
    d.line(26, 346, 306, 346, kRule);
    d.line(26, 364, 606, 364, kRule);
}

}  // namespace

uint32_t acceptedTotal(const StatisticsStore& s) {
    uint32_t total = 0;
    for (uint16_t c : s.billCounts) total += c;
    return total;
}

std::optional<double> statisticsPerformance(const StatisticsStore& s) {
    const auto t = tallies(s);
    if (!t) return std::nullopt;
    return 100.0 * t->good / (t->good + t->rejected * kRejectionWeight);
}

std::optional<double> statisticsAcceptance(const StatisticsStore& s) {
    const auto t = tallies(s);
    if (!t) return std::nullopt;
    return 100.0 * t->good / (t->good + t->rejected);
}

std::string meritText(double value) {
    const auto whole = static_cast<uint16_t>(std::trunc(value));
    const auto hundredths = static_cast<uint16_t>(std::trunc(100.0 * value - 100.0 * whole));
    return decimal(whole) + "." + twoDigits(hundredths);
}

std::string meritText(const std::optional<double>& value) { return value ? meritText(*value) : kNotEnoughData; }

StatisticsView statisticsView(const StatisticsStore& s) {
    StatisticsView v;
    // The bill or event just seen turns its table to the page that holds it.
    v.billPage = s.billPage;
    if (s.lastBillType >= 1 && s.lastBillType <= 32) v.billPage = true;
    if (s.lastBillType >= 33 && s.lastBillType <= 64) v.billPage = false;
    v.eventPage = s.eventPage;
    if (s.lastEvent >= 1 && s.lastEvent <= 9) v.eventPage = true;
    if (s.lastEvent >= 10) v.eventPage = false;

    PanelDrawing& d = v.drawing;
    const int firstType = v.billPage ? 1 : 33;
    for (int i = 0; i < StatisticsView::kBillsShown; ++i) {
        StatisticsView::BillCell& c = v.bills[static_cast<size_t>(i)];
        const int column = i / StatisticsView::kBillRows, row = i % StatisticsView::kBillRows;
        c.type = firstType + i;
        c.count = s.billCounts[static_cast<size_t>(c.type - 1)];
        c.highlighted = c.type == s.lastBillType;
        c.typeText = twoDigits(c.type);
        c.countText = decimal(c.count);
        c.typeX = kBillTypeX + kBillColumnStep * column;
        c.countX = kBillCountX + kBillColumnStep * column;
        c.y = kFirstRowY + kRowStep * row;
        if (c.highlighted) d.box(c.countX - kBillBoxLeft, c.y, kBillBoxWidth, kBoxHeight, kHighlight);
        d.text(c.typeX, c.y, c.typeText, kNumber);
        d.text(c.countX, c.y, c.countText, kCount, c.highlighted ? kHighlight : kBlack);
    }
    v.acceptedTotal = acceptedTotal(s);
    v.totalText = decimal(v.acceptedTotal);
    d.text(kTotalLabelX, kHeadingY, kTotal, kHeading);
    d.text(kTotalX, kHeadingY, v.totalText, kCount);

    d.text(kEventHeadingX, kHeadingY, kEventHeading, kHeading);
    const int firstEvent = v.eventPage ? 1 : 10;
    for (int k = 0; k < StatisticsView::kEventsShown; ++k) {
        StatisticsView::EventRow& e = v.events[static_cast<size_t>(k)];
        e.number = firstEvent + k;
        e.count = s.eventCounts[static_cast<size_t>(e.number - 1)];
        e.highlighted = e.number == s.lastEvent;
        e.numberText = decimal(e.number);
        e.countText = decimal(e.count);
        e.description = std::string(EventDescriptions[static_cast<size_t>(e.number - 1)]);
        e.numberX = e.number < 10 ? kEventNumberX : kEventNumberTwoDigitsX;
        e.y = kFirstRowY + kRowStep * k;
        if (e.highlighted) d.box(kEventBoxX, e.y, kEventBoxWidth, kBoxHeight, kHighlight);
        d.text(e.numberX, e.y, e.numberText, kNumber);
        d.text(kEventCountX, e.y, e.countText, kCount, e.highlighted ? kHighlight : kBlack);
        d.text(kDescriptionX, e.y, e.description, kDescription);
    }

    const std::optional<double> merit = v.billPage ? statisticsPerformance(s) : statisticsAcceptance(s);
    v.meritLabel = v.billPage ? kPerformance : kAcceptance;
    v.meritValue = meritText(merit);
    v.meritPercent = merit.has_value();
    d.text(kMeritLabelX, kMeritY, v.meritLabel, kHeading);
    d.text(kMeritValueX, kMeritY, v.meritValue, kCount);
    if (v.meritPercent) d.text(kPercentX, kMeritY, kPercent, kHeading);
    drawGrid(d);
    return v;
}

bool toggleBillPage(StatisticsStore& s) { return s.billPage = !s.billPage; }
bool toggleEventPage(StatisticsStore& s) { return s.eventPage = !s.eventPage; }

void markStatisticsShown(StatisticsStore& s, const StatisticsView& shown) {
    s.billPage = shown.billPage;
    s.eventPage = shown.eventPage;
    s.lastBillType = 0;
    s.lastEvent = 0;
    s.acceptedTotal = shown.acceptedTotal;
}

}  // namespace halvek
