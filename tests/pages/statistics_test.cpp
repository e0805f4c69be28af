#include <gtest/gtest.h>

#include "link/controller_bench.h"
#include "link/lower_page_actions.h"
#include "pages/statistics/statistics_replies.h"
#include "pages/statistics/statistics_view.h"
#include "protocol/catalogue.h"
#include "reply_bytes.h"

namespace halvek {
namespace {

using test::lowFirst;
using test::ReplyBytes;

// A statistics reply: bill counts 1..types (type k counts k * 10), then the event counts.
std::vector<uint8_t> statsData(int types, const std::vector<int>& events) {
    std::vector<int> bills;
    for (int k = 1; k <= types; ++k) bills.push_back(k * 10);
    std::vector<uint8_t> d = lowFirst(bills);
    std::vector<int> e = events;
    e.resize(20, 0);
    const auto ev = lowFirst(e);
    d.insert(d.end(), ev.begin(), ev.end());
    return d;
}

TEST(StatisticsReply, StoresWholeRepliesOfEitherLayoutAndRefusesShortOnes) {
    struct Case {
        const char* what;
        bool extended;
        int types;
        int cut;  // bytes taken off the end
        bool stored;
    };
    const Case cases[] = {
        {"long frame, 64 types", true, 64, 0, true},
        {"short frame, 16 types", false, 16, 0, true},
        {"long frame one byte short", true, 64, 1, false},
        {"short frame one byte short", false, 16, 1, false},
        {"long frame with the short layout", true, 16, 0, false},
    };
    for (const Case& c : cases) {
        StatisticsStore s;
        s.billCounts[40] = 777;  // type 41: no short reply reaches it
        s.eventCounts[5] = 4;
        std::vector<uint8_t> d = statsData(c.types, {9, 0x0102, 0, 0, 0, 5});
        d.resize(d.size() - static_cast<size_t>(c.cut));
        const ReplyBytes r(c.extended, cmd::ReadStats, d);
        EXPECT_EQ(storeStatistics(s, r.reply()), c.stored) << c.what;
        EXPECT_EQ(s.received, c.stored) << c.what;
        if (c.stored) {
            EXPECT_EQ(s.billCounts[0], 10) << c.what;
            EXPECT_EQ(s.billCounts[15], 160) << c.what;
            EXPECT_EQ(s.billCounts[40], c.types == 64 ? 410 : 777) << c.what;
            EXPECT_EQ(s.eventCounts[0], 0) << c.what << ": event 1 always shows 0";
            EXPECT_EQ(s.eventCounts[1], 0x0102) << c.what;
            EXPECT_EQ(s.lastEvent, 6) << c.what;  // 4 -> 5
        } else {
            EXPECT_EQ(s.billCounts[0], 0) << c.what;
            EXPECT_EQ(s.eventCounts[5], 4) << c.what;
            EXPECT_EQ(s.lastEvent, 0) << c.what;
        }
    }
}

TEST(StatisticsReply, HighlightsTheEventThatGrewByOne) {
    struct Case {
        std::vector<int> before, after;
        int highlighted;
    };
    const Case cases[] = {
        {{0, 3, 0}, {0, 5, 0}, 0},        // a jump of two marks nothing
        {{0, 3, 0, 7}, {0, 4, 0, 8}, 4},  // two grew by one: the higher one
        {{0, 0, 0}, {1, 0, 0}, 0},        // event 1 is never kept, so never marked
        {{0, 0}, {0, 0}, 0},              // nothing changed
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 65535}, {}, 0},  // a count that wraps
    };
    for (const Case& c : cases) {
        StatisticsStore s;
        for (size_t k = 0; k < c.before.size(); ++k) s.eventCounts[k] = static_cast<uint16_t>(c.before[k]);
        EXPECT_TRUE(storeStatistics(s, ReplyBytes(true, cmd::ReadStats, statsData(64, c.after)).reply()));
        EXPECT_EQ(s.lastEvent, c.highlighted) << testing::PrintToString(c.after);
    }
}

TEST(StatisticsView, PagesFollowTheBillAndEventJustSeen) {
    struct Case {
        bool billPage, eventPage;
        int lastBill, lastEvent;
        bool shownBills, shownEvents;
        int boxedCell, boxedRow;  // -1: none
    };
    const Case cases[] = {
        {true, true, 40, 12, false, false, 7, 2},  // type 40: second bill page, column 0, row 7
        {false, false, 5, 9, true, true, 4, 8},
        {false, true, 0, 0, false, true, -1, -1},  // nothing seen: the pages stay
        {true, false, 64, 10, false, false, 31, 0},
        {true, true, 33, 18, false, false, 0, 8},
    };
    for (const Case& c : cases) {
        StatisticsStore s;
        s.billPage = c.billPage;
        s.eventPage = c.eventPage;
        s.lastBillType = static_cast<uint8_t>(c.lastBill);
        s.lastEvent = static_cast<uint8_t>(c.lastEvent);
        const StatisticsView v = statisticsView(s);
        EXPECT_EQ(v.billPage, c.shownBills) << c.lastBill;
        EXPECT_EQ(v.eventPage, c.shownEvents) << c.lastEvent;
        EXPECT_EQ(v.meritLabel, c.shownBills ? "PERFORMANCE:" : "stat. accptance:");
        for (int i = 0; i < StatisticsView::kBillsShown; ++i)
            EXPECT_EQ(v.bills[static_cast<size_t>(i)].highlighted, i == c.boxedCell) << c.lastBill << " cell " << i;
        for (int k = 0; k < StatisticsView::kEventsShown; ++k)
            EXPECT_EQ(v.events[static_cast<size_t>(k)].highlighted, k == c.boxedRow) << c.lastEvent << " row " << k;
        markStatisticsShown(s, v);
        EXPECT_EQ(s.billPage, c.shownBills);
        EXPECT_EQ(s.lastBillType, 0);
        EXPECT_EQ(s.lastEvent, 0);
    }
}

TEST(StatisticsView, FigureOfMerit) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> bills;   // type, count
        std::vector<std::pair<int, int>> events;  // number, count
        const char* performance;
        const char* acceptance;
    };
    const Case cases[] = {
        {"below 100 bills", {{1, 60}, {40, 39}}, {}, "not enough data", "not enough data"},
        {"exactly 100, no rejections", {{1, 60}, {40, 40}}, {}, "100.00", "100.00"},
        {"the 4/9 weight", {{2, 400}}, {{2, 9}}, "99.00", "97.79"},  // 400/404 and 400/409
        {"disabled entries count as good", {{2, 100}}, {{3, 100}, {4, 9}, {7, 9}}, "96.15", "91.74"},  // 200/208
        {"other events do not count", {{2, 100}}, {{5, 50}, {6, 50}, {16, 50}}, "100.00", "100.00"},
        {"hundredths truncated", {{2, 100}}, {{2, 3}}, "98.68", "97.08"},  // 98.684..., 97.087...
    };
    for (const Case& c : cases) {
        StatisticsStore s;
        for (auto [type, count] : c.bills) s.billCounts[static_cast<size_t>(type - 1)] = static_cast<uint16_t>(count);
        for (auto [n, count] : c.events) s.eventCounts[static_cast<size_t>(n - 1)] = static_cast<uint16_t>(count);
        EXPECT_EQ(meritText(statisticsPerformance(s)), c.performance) << c.what;
        EXPECT_EQ(meritText(statisticsAcceptance(s)), c.acceptance) << c.what;
        const StatisticsView v = statisticsView(s);
        EXPECT_EQ(v.meritValue, c.performance) << c.what;
        EXPECT_EQ(v.meritPercent, std::string(c.performance) != "not enough data") << c.what;
    }
    const std::pair<double, const char*> texts[] = {
        {97.456, "97.45"}, {97.999, "97.99"}, {97.06, "97.06"}, {0.5, "0.50"}, {100.0, "100.00"}};
    for (auto [value, text] : texts) EXPECT_EQ(meritText(value), text) << value;
}

TEST(StatisticsView, TextsStandWhereThePageDrawsThem) {
    StatisticsStore s;
    s.billCounts[8] = 30;  // type 9: column 1, row 0
    s.billCounts[0] = 4;
    s.eventCounts[1] = 3;
    s.lastEvent = 2;
    const StatisticsView v = statisticsView(s);
    struct Case {
        const char* text;
        int x, y;
        Rgb colour;
    };
    const Case cases[] = {
        {"accepted bills total:", 36, 203, {0, 255, 0}},
        {"34", 176, 203, {0, 255, 255}},  // the total
        {"Num  Count     Event description", 309, 203, {0, 255, 0}},
        {"01", 29, 219, {170, 170, 170}},
        {"09", 96, 219, {170, 170, 170}},
        {"did not pass optical test    ", 401, 235, {170, 255, 170}},
        {"2", 321, 235, {170, 170, 170}},
        {"3", 351, 235, {0, 255, 255}},
        {"PERFORMANCE:", 36, 347, {0, 255, 0}},
        {"not enough data", 156, 347, {0, 255, 255}},
    };
    for (const Case& c : cases) {
        const PanelItem* i = v.drawing.findText(c.text);
        ASSERT_NE(i, nullptr) << c.text;
        EXPECT_EQ(i->x, c.x) << c.text;
        EXPECT_EQ(i->y, c.y) << c.text;
        EXPECT_EQ(i->colour, c.colour) << c.text;
    }
    EXPECT_EQ(v.bills[8].countText, "30");
    EXPECT_EQ(v.bills[8].countX, 51 + 67);
    bool boxed = false;
    for (const PanelItem& i : v.drawing.items())
        boxed |= i.kind == PanelItem::Kind::Box && i.x == 341 && i.y == 235 && i.x2 == 55 && i.y2 == 15;
    EXPECT_TRUE(boxed) << "event 2's count is boxed";

    s.eventPage = false;
    s.lastEvent = 0;
    const StatisticsView second = statisticsView(s);
    EXPECT_EQ(second.events[0].numberText, "10");
    EXPECT_EQ(second.events[0].numberX, 315) << "two-digit event numbers stand further left";
    EXPECT_EQ(second.events[8].description, "bill returned by controller  ");
}

// "Clear Stats" and "Read Stats" as the strip's buttons do them.
TEST(StatisticsActions, ClearOnlyWhenConnectedAndConfirmed) {
    struct Case {
        bool connected;
        Answer answer;
        const char* said;  // the last message
        bool cleared;
    };
    const Case cases[] = {
        {false, Answer::Yes, "No connection", false},
        {true, Answer::No, "Erase Cancelled", false},
        {true, Answer::Yes, "Erased", true},
    };
    for (const Case& c : cases) {
        test::ControllerBench b;
        b.ui.answer = c.answer;
        if (c.connected) b.controller.startTimer();
        StatisticsStore& s = b.stores.statistics;
        s.billCounts[0] = 5;
        s.eventCounts[3] = 2;
        s.billPage = false;
        EXPECT_EQ(clearStatistics(b.controller), c.cleared);
        ASSERT_FALSE(b.ui.messages.empty());
        EXPECT_EQ(b.ui.messages.back().text, c.said);
        EXPECT_EQ(b.ui.messages.back().title, "Info");
        if (c.connected) {
            EXPECT_EQ(b.ui.messages.front().text, "STATISTCS DATA WILL BE ERASED PERMANENTLY. CONTINUE ?");
            EXPECT_EQ(b.ui.messages.front().title, "Warning");
            EXPECT_EQ(b.ui.messages.front().buttons, Buttons::YesNo);
        } else {
            EXPECT_EQ(b.ui.messages.size(), 1u) << "nothing is asked that would then be refused";
        }
        EXPECT_EQ(s.billCounts[0], c.cleared ? 0 : 5);
        EXPECT_EQ(s.eventCounts[3], c.cleared ? 0 : 2);
        EXPECT_EQ(s.billPage, c.cleared);
        EXPECT_EQ(b.controller.requestState(cmd::ClearStats), c.cleared ? RequestState::Requested : RequestState::Idle);
    }
    test::ControllerBench b;
    readStatistics(b.controller);
    EXPECT_EQ(b.controller.requestState(cmd::ReadStats), RequestState::Requested) << "asked even before connecting";
}

}  // namespace
}  // namespace halvek
