// The upper pages' rules without a line or a window: entry checks, BCD,
// the week preset, the counters list, the clock texts and the identity
// displays, and what each set-up switch sends.
#include <gtest/gtest.h>

#include "link/controller_bench.h"
#include "pages/common/entry_check.h"
#include "pages/counters/counters_view.h"
#include "pages/escrow/escrow_view.h"
#include "pages/identity/identity_view.h"
#include "pages/rtc/rtc_view.h"
#include "pages/setup/setup_view.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

TEST(EntryCheck, AcceptsUnsignedNumbersWithinBoundsAndSaysWhyOtherwise) {
    struct Case {
        const char* text;
        uint32_t lo, hi;
        std::optional<uint32_t> value;
        const char* message;
    };
    const Case cases[] = {
        {"1234", 0, 9999, 1234, ""},
        {"0", 0, 9999, 0, ""},
        {"9999", 0, 9999, 9999, ""},
        {" 42 ", 0, 9999, 42, ""},
        {"0007", 0, 9999, 7, ""},
        {"10000", 0, 9999, {}, "Please enter an integer between 0 and 9999."},
        {"99999999999999", 0, 9999, {}, "Please enter an integer between 0 and 9999."},
        {"0", 1, 52, {}, "Please enter an integer between 1 and 52."},
        {"53", 1, 52, {}, "Please enter an integer between 1 and 52."},
        {"52", 1, 52, 52, ""},
        {"100", 0, 99, {}, "Please enter an integer between 0 and 99."},
        {"", 0, 9999, {}, "Please enter a positive integer."},
        {"-1", 0, 9999, {}, "Please enter a positive integer."},
        {"12a", 0, 9999, {}, "Please enter a positive integer."},
        {"1.5", 0, 9999, {}, "Please enter a positive integer."},
    };
    for (const Case& c : cases) {
        const EntryCheck r = checkEntry(c.text, c.lo, c.hi);
        EXPECT_EQ(r.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(r.message, c.message) << '"' << c.text << '"';
    }
}

TEST(EntryCheck, BcdDigitsThousandsAndHundredsFirst) {
    struct Case {
        uint32_t n;
        std::array<uint8_t, 2> bcd;
    };
    for (const Case& c : {Case{1234, {0x12, 0x34}}, Case{0, {0x00, 0x00}}, Case{9999, {0x99, 0x99}},
                          Case{7, {0x00, 0x07}}, Case{1000, {0x10, 0x00}}, Case{90, {0x00, 0x90}}})
        EXPECT_EQ(toBcd4(c.n), c.bcd) << c.n;
    EXPECT_EQ(toBcd2(52), 0x52);
    EXPECT_EQ(toBcd2(5), 0x05);
    EXPECT_EQ(toBcd2(99), 0x99);
}

TEST(WeekPreset, DayOfTheYearBySevenRoundedUpAndNeverBeyond52) {
    struct Case {
        int y, m, d;
        uint32_t week, year;
    };
    const Case cases[] = {
        {2007, 1, 1, 1, 7},     {2007, 1, 7, 1, 7},     {2007, 1, 8, 2, 7},    {2007, 12, 4, 49, 7},
        {2024, 2, 29, 9, 24},   {2024, 3, 1, 9, 24},    {2023, 3, 1, 9, 23},   {2026, 12, 23, 51, 26},
        {2026, 12, 31, 52, 26}, {2024, 12, 31, 52, 24}, {2000, 12, 30, 52, 0},
    };
    for (const Case& c : cases) {
        const WeekPreset p = weekPreset(c.y, c.m, c.d);
        EXPECT_EQ(p.week, c.week) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(p.year, c.year) << c.y;
    }
}

TEST(CountersView, QrvCountsShowEightDigitsOrUnknownAndEveryRowIsWritten) {
    CounterStore c;
    c.qrvCounts[0] = 12;
    c.qrvCounts[1] = 0xFFFFFD;
    c.qrvCounts[2] = 0xFFFFFE;
    c.qrvCounts[3] = 0xFFFFFFFF;
    const CountersView v = countersView(c, CounterSelection::Qrv);
    EXPECT_EQ(v.colour, kQrvColour);
    EXPECT_EQ(v.rows[0].type, " 01  ");
    EXPECT_EQ(v.rows[63].type, " 64  ");
    EXPECT_EQ(v.rows[0].count, "00000012");
    EXPECT_EQ(v.rows[1].count, "16777213");
    EXPECT_EQ(v.rows[2].count, "????????");
    EXPECT_EQ(v.rows[3].count, "????????");
    EXPECT_EQ(v.rows[4].count, "00000000");
}

TEST(CountersView, LifeCountAndLastFiveBlankTheRowsTheyDoNotFill) {
    CounterStore c;
    c.qrvCounts.fill(77);
    c.lifeCount = 1234;
    c.lastFive = {3, 1, 16, 0, 7};
    struct Case {
        CounterSelection selection;
        Rgb colour;
        CounterRow first, second;
    };
    const Case cases[] = {
        {CounterSelection::Life, kLifeColour, {"count", "00001234"}, {" 02  ", "xxxxxxxx"}},
        {CounterSelection::LastFive, kLastFiveColour, {"last->", "type 03"}, {" 02  ", "type 01"}},
    };
    for (const Case& k : cases) {
        const CountersView v = countersView(c, k.selection);
        EXPECT_EQ(v.colour, k.colour);
        EXPECT_EQ(v.rows[0].type, k.first.type);
        EXPECT_EQ(v.rows[0].count, k.first.count);
        EXPECT_EQ(v.rows[1].type, k.second.type);
        EXPECT_EQ(v.rows[1].count, k.second.count);
        for (size_t row = 5; row < kCounterRows; ++row) {
            EXPECT_EQ(v.rows[row].type, "") << row;
            EXPECT_EQ(v.rows[row].count, "") << row;
        }
    }
    EXPECT_EQ(countersView(c, CounterSelection::LastFive).rows[2].count, "type 16");
    c.lifeCount = 0xFFFFFF;  // erased memory, as three bytes
    EXPECT_EQ(countersView(c, CounterSelection::Life).rows[0].count, "????????");
}

TEST(RtcView, PcTimeAsBcdRecordAndTheClockText) {
    std::tm t{};
    t.tm_year = 107;  // 2007
    t.tm_mon = 11;
    t.tm_mday = 4;
    t.tm_wday = 2;  // Tuesday
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    const RtcRecord r = rtcRecordOf(t);
    EXPECT_EQ(r, (RtcRecord{0x07, 0x12, 0x04, 0x03, 0x14, 0x05, 0x09, 0x00}));
    EXPECT_EQ(rtcText(r), "TUE, 12-04-07,          14:05:09");
    for (uint8_t weekday : std::initializer_list<uint8_t>{0, 8, 9, 0xFF})
        EXPECT_STREQ(dayName(weekday), "SUN") << int{weekday};
    EXPECT_STREQ(dayName(7), "SAT");
    EXPECT_EQ(rtcText({}), rtctext::kInitial);
    for (char type : {'V', 'L', 'S'}) EXPECT_FALSE(unitHasClock(type)) << type;
    for (char type : {'A', 'Q', '\0'}) EXPECT_TRUE(unitHasClock(type)) << int{type};
}

TEST(IdentityView, BcdShownAsHexPairsAndBurnCyclesSigned) {
    IdentityStore id;
    id.systemId = {0x12, 0x34};
    id.factoryNumber = {0x00, 0x42};
    id.productionDate = {0x05, 0x07};
    id.assetNumber = {0xA5, 0x00, 0x00, 0x00, 0x10, 0x01};
    id.burnCycles = -1;
    EXPECT_EQ(systemIdText(id), "1234");
    EXPECT_EQ(factoryNumberText(id), "0042");
    EXPECT_EQ(productionDateText(id), "wk 05/of 07");
    EXPECT_EQ(assetNumberText(id), "A50000001001");
    EXPECT_EQ(burnCyclesText(id), "-1");
    EXPECT_EQ(revisionText(id), "");
}

TEST(EscrowView, AcceptOnlyForABillInEscrowWhileTheUserDecides) {
    EscrowSettings e;
    e.autoAccept = false;
    EXPECT_FALSE(acceptEnabled(e));
    e.billInEscrow = true;
    e.escrowValue = 20;
    EXPECT_TRUE(acceptEnabled(e));
    EXPECT_EQ(billInEscrowText(e), "in escrow: 20");
    e.escrowValue = 3'000'000'000;  // money is 64-bit: a value past 32 bits is shown whole
    EXPECT_EQ(billInEscrowText(e), "in escrow: 3000000000");
    e.autoAccept = true;
    EXPECT_FALSE(acceptEnabled(e));
    e.defaultExpiration = false;
    EXPECT_TRUE(keepAliveRestarts(e));
    e.billInEscrow = false;
    EXPECT_FALSE(keepAliveRestarts(e));
    EXPECT_EQ(billInEscrowText(e), "no bill in escrow");
}

// Both states of every switch: the command a click asks for and the name it leaves in the history.
TEST(SetupSwitches, EachClickSendsItsCommandWithItsHistoryName) {
    using S = SetupSwitch;
    struct Case {
        S which;
        bool from;
        uint8_t code;
        const char* name;
        const char* caption;
    };
    const Case cases[] = {
        {S::Stacker, false, cmd::SetStackerOptional, "set stacker optional", "optional"},
        {S::Stacker, true, cmd::SetStackerRequired, "set stacker required", "required"},
        {S::Plate, false, cmd::SetPlateClosed, "set cass.plate closed", "closed"},
        {S::Plate, true, cmd::SetPlateOpen, "set cass.plate open", "open"},
        {S::Sides, false, cmd::SetNoteCfg, "set note cfg: 1 side - 2 ways", "1 side"},
        {S::Sides, true, cmd::SetNoteCfg, "set note cfg: 2 sides - 2 ways", "2 sides"},
        {S::Ways, false, cmd::SetNoteCfg, "set note cfg: 2 sides - 1 way", "1 way"},
        {S::Ways, true, cmd::SetNoteCfg, "set note cfg: 2 sides - 2 ways", "2 ways"},
        {S::Orientation, false, 0, nullptr, "reverse"},
        {S::Orientation, true, 0, nullptr, "normal"},
        {S::Inhibit, false, cmd::InhibitUnit, "inhibit unit", "inhibit"},
        {S::Inhibit, true, cmd::UninhibitUnit, "un-inhibit unit", "un inhib"},
        {S::SystemMode, false, cmd::SetMode, "set mode: interrupt - escrow off", "interrupt"},
        {S::SystemMode, true, cmd::SetMode, "set mode: polling - escrow off", "polling"},
        {S::Escrow, false, cmd::SetMode, "set mode: polling - escrow on", "escrow on"},
        {S::Escrow, true, cmd::SetMode, "set mode: polling - escrow off", "escrow off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(setupSwitchRow(c.which).key + std::string(c.from ? " on" : " off"));
        test::ControllerBench bench(false);
        bool interrupt = false;
        setSwitchState(bench.stores.setup, interrupt, c.which, c.from);
        const uint8_t code = flipSwitch(bench.stores.setup, interrupt, c.which);
        const bool now = switchState(bench.stores.setup, interrupt, c.which);
        EXPECT_EQ(now, !c.from);
        const SetupSwitchRow& row = setupSwitchRow(c.which);
        EXPECT_STREQ(now ? row.clickedOn : row.clickedOff, c.caption);
        EXPECT_EQ(code, c.code);
        if (code == 0) continue;
        bench.controller.setInterruptMode(interrupt);
        bench.controller.request(code);
        bench.controller.onTick();
        const auto frame = bench.take();
        ASSERT_GE(frame.size(), 3u);
        EXPECT_EQ(frame[2], c.code);
        EXPECT_EQ(bench.stores.history.slots()[0], c.name);
    }
}

// The set-up byte 0x09: one side, two ways, escrow off, interrupt, stacker required, plate open.
TEST(SetupSwitches, ASetupReplySetsTheSwitchesTheModeAndTheCaption) {
    for (bool extended : {true, false}) {
        test::ControllerBench bench(extended);
        bench.reply(cmd::ReadSetup, {0x09});
        const SetupSwitches& s = bench.stores.setup;
        EXPECT_TRUE(s.sides);
        EXPECT_FALSE(s.ways || s.escrow || s.stacker || s.plate || s.inhibit || s.orientation);
        EXPECT_TRUE(bench.controller.interruptMode());
        ASSERT_FALSE(bench.ui.captions.empty());
        EXPECT_EQ(bench.ui.captions.back(), "Controller in INTERRUPT mode");
        ASSERT_FALSE(bench.ui.refreshed.empty());
        EXPECT_EQ(bench.ui.refreshed.back(), View::Setup);
    }
}

TEST(SetupSwitches, RowsFollowTheSwitchOrderAndRefreshCaptions) {
    for (size_t i = 0; i < setupSwitchRows().size(); ++i) EXPECT_EQ(static_cast<size_t>(setupSwitchRows()[i].which), i);
    EXPECT_STREQ(setupSwitchRow(SetupSwitch::Inhibit).shownOff, "un-inhib.");
    EXPECT_STREQ(setupSwitchRow(SetupSwitch::Inhibit).clickedOff, "un inhib");
}

}  // namespace
}  // namespace halvek
