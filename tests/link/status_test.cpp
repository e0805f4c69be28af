#include <gtest/gtest.h>

#include "controller_bench.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using test::ControllerBench;

// Seven notes of 5 to 500 and the coupon, as the credit table reply brings them.
void loadBills(ControllerBench& b) {
    const uint8_t values[][2] = {{5, 0}, {10, 0}, {20, 0}, {50, 0}, {100, 0}, {200, 0}, {50, 1}};
    const uint8_t shortValues[] = {0x50, 0xA0, 0x21, 0x51, 0xA1, 0x22, 0x52};
    const bool ext = b.block.extendedMode;
    Bytes d{8};
    for (uint8_t t = 1; t <= 7; ++t) {
        d.insert(d.end(), {t, 'E', 'U', 'R'});
        if (ext)
            d.insert(d.end(), {values[t - 1][0], values[t - 1][1]});
        else
            d.push_back(shortValues[t - 1]);
    }
    d.insert(d.end(), {16, 'C', 'P', 'N', 1});
    if (ext) d.push_back(0);
    b.reply(ext ? 0xE5 : 0xE2, d);
}

TEST(Status, EscrowInStandardModeIsReportedOnEveryReplyAndShowsTheEscrowPage) {
    ControllerBench b(false);
    loadBills(b);
    b.stores.escrow.autoAccept = false;
    b.status({0x21, 0x00, 0x00});
    b.status({0x21, 0x00, 0x00});
    EXPECT_EQ(b.events(), (Strings{"bill in escrow : EUR  5", "bill in escrow : EUR  5"}));
    EXPECT_EQ(b.controller.upperPage(), page::Escrow);
    EXPECT_TRUE(b.ui.pages.back().moveTab);
    EXPECT_TRUE(b.stores.escrow.billInEscrow);
    EXPECT_EQ(b.stores.escrow.escrowValue, 5);
    EXPECT_EQ(b.controller.currentState(), 4);  // "escrow" is shown although the bit is not remembered
    EXPECT_EQ(b.controller.requestState(cmd::EscrowAccept), RequestState::Idle);
}

TEST(Status, TheNoEscrowEventBitSilencesTheEscrowBit) {
    ControllerBench b;
    loadBills(b);
    b.stores.escrow.billInEscrow = true;
    b.status({0x20, 0x00, 0x00, 0x03, 0x01, 0x00});
    EXPECT_TRUE(b.events().empty());
    EXPECT_TRUE(b.ui.pages.empty());
    EXPECT_EQ(b.controller.requestState(cmd::EscrowAccept), RequestState::Idle);
    EXPECT_TRUE(b.stores.escrow.billInEscrow);  // keeps its last value
}

TEST(Status, NoDecisionOnABillOfUnknownValue) {
    ControllerBench b;
    b.stores.escrow.creditLimitOn = true;
    b.stores.escrow.creditLimit = 100;
    b.status({0x20, 0x00, 0x00, 0x07, 0x00, 0x00});
    EXPECT_EQ(b.events(), (Strings{"bill in escrow : type 7 (value not known yet)"}));
    EXPECT_EQ(b.controller.requestState(cmd::EscrowAccept), RequestState::Idle);
    // The table is asked for again; the unit's count goes out first (lower code).
    EXPECT_EQ(b.controller.requestState(cmd::ReadCreditTable), RequestState::Requested);
    b.reply(cmd::ReadBillCounter, {0, 0, 0});
    loadBills(b);
    b.status({0x20, 0x00, 0x00, 0x07, 0x00, 0x00});
    EXPECT_EQ(b.controller.requestState(cmd::EscrowReturn), RequestState::Requested);  // 500 > 100
}

TEST(Status, EventsInTheirOrder) {
    struct Case {
        const char* what;
        Bytes before, now;
        bool escrowOption;
        Strings events;
    };
    // clang-format off
    const Case cases[] = {
        {"stringing with escrow on", {0, 1, 0, 0, 0, 0}, {0x0E, 0x10, 0, 0, 0, 0}, true, {}},
        {"stringing with escrow off", {0, 1, 0, 0, 0, 0}, {0x0E, 0x10, 0, 0, 0, 0}, false, {"rejected - stringing attempt"}},
        {"unlisted reason", {0, 1, 0, 0, 0, 0}, {0x05, 0x10, 0, 0, 0, 0}, false, {"error code : 05"}},
        {"stacker attached", {0, 1, 0x04, 0, 0, 0}, {0, 1, 0x00, 0, 0, 0}, false, {"stacker attached"}},
        {"stacker detached", {0, 1, 0x00, 0, 0, 0}, {0, 1, 0x04, 0, 0, 0}, false, {"stacker detached"}},
        {"power on reset then unit ready", {0, 0, 0x80, 0, 0, 0}, {0, 0x41, 0x00, 0, 0, 0}, false, {"power on reset", "unit ready"}},
        {"faults in order", {0, 1, 0, 0, 0, 0}, {0, 0, 0x7B, 0, 0, 0}, false,
         {"power up with bill", "communication time out", "stacker full", "stacker jam", "bill jam", "unit disabled"}},
        {"inhibited", {0, 1, 0, 0, 0, 0}, {0, 0, 0x80, 0, 0, 0}, false, {"unit inhibited"}},
        {"returning", {0, 1, 0, 0, 0, 0}, {0, 0x04, 0, 0, 0, 0}, false, {"returning bill"}},
        {"no change", {0, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, false, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        ControllerBench b;
        b.stores.setup.escrow = c.escrowOption;
        b.status(c.before);
        const uint32_t before = b.stores.events.counter();
        b.status(c.now);
        Strings added;
        for (uint32_t i = before; i < b.stores.events.counter(); ++i) added.push_back(b.events()[i]);
        EXPECT_EQ(added, c.events) << c.what;
    }
}

TEST(Status, StatesAsShown) {
    // clang-format off
    const std::pair<Bytes, int> cases[] = {
        {{0, 0x40, 0, 0, 0, 0}, 1}, {{0, 0x01, 0x80, 0, 0, 0}, 2}, {{0, 0x02, 0, 0, 0, 0}, 3},
        {{0x20, 0, 0, 1, 0, 0}, 4}, {{0, 0x08, 0, 0, 0, 0}, 5},   {{0, 0x10, 0, 0, 0, 0}, 6},
        {{0, 0x04, 0, 0, 0, 0}, 6}, {{0, 0, 0x80, 0, 0, 0}, 7},   {{0, 0, 0, 0, 0, 0}, 0},
    };
    // clang-format on
    for (const auto& [bytes, state] : cases) {
        ControllerBench b;
        b.stores.escrow.autoAccept = false;
        b.status(bytes);
        EXPECT_EQ(b.controller.currentState(), state);
    }
}

TEST(Status, ACouponIsNamedByItsCodeAndToldToTheListeners) {
    struct Coupons : StatusListener {
        void couponStacked(const std::string& code) override { codes.push_back(code); }
        Strings codes;
    } coupons;
    ControllerBench b(false);
    loadBills(b);
    b.controller.addStatusListener(&coupons);
    b.status({0x90, 0x01, 0x00}, "1234567890123");
    EXPECT_EQ(b.events(), (Strings{"coupon: 1234567890123"}));
    EXPECT_EQ(coupons.codes, (Strings{"1234567890123"}));
    // The stacked bit on the next reply too is the same coupon; after a reply
    // without it, a stacked bit is the next one.
    b.status({0x90, 0x01, 0x00}, "1234567890123");
    EXPECT_EQ(b.events().size(), 1u);
    b.status({0x00, 0x01, 0x00});
    b.status({0x90, 0x01, 0x00}, "1234567890124");
    EXPECT_EQ(b.events().size(), 2u);
}

TEST(Status, ABillStackedBeforeTheTableIsKnownIsReportedLater) {
    ControllerBench b;
    b.status({0x80, 0x01, 0x00, 0x02, 0x00, 0x00});
    EXPECT_TRUE(b.events().empty());
    loadBills(b);
    b.status({0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(b.events(), (Strings{"(cr) bill stacked : EUR  10"}));
}

TEST(Status, BillTypesWithoutATableSlotAreNamedByNumber) {
    ControllerBench b;
    loadBills(b);
    b.stores.escrow.autoAccept = false;
    b.status({0x20, 0x00, 0x00, 70, 0x00, 0x00});
    b.status({0x80, 0x01, 0x00, 70, 0x00, 0x00});
    EXPECT_EQ(b.events(), (Strings{"bill in escrow : type 70 (value not known yet)", "bill stacked : type 70  0"}));
}

TEST(Status, AShortStatusReplyReadsNoStaleBytes) {
    ControllerBench b;
    b.replyFrame(encodeFrame(true, 0xCC, {0x00, 0x01, 0x00}));  // S3..S5 missing: the buffer holds 0xEE there
    EXPECT_EQ(b.stores.status.received, (std::array<uint8_t, 6>{0x00, 0x01, 0, 0, 0, 0}));
    EXPECT_TRUE(b.events().empty());
    // Without S2 (the poll itself, on an echoing line) it says nothing of the unit.
    b.replyFrame(encodeFrame(true, 0xCC, {0x00, 0x02}));
    EXPECT_EQ(b.stores.status.received, (std::array<uint8_t, 6>{0x00, 0x01, 0, 0, 0, 0}));
    EXPECT_EQ(b.controller.linkCounters().unusable, 1u);
}

TEST(Status, VlaEndsWithAResetOrFailsWithAnInhibit) {
    ControllerBench ok(true, true);
    ok.controller.setVlaRunning(true);
    ok.status({0, 0x40, 0, 0, 0, 0});
    EXPECT_FALSE(ok.controller.vlaRunning());
    EXPECT_EQ(ok.controller.requestState(cmd::ReadDiagn0), RequestState::Requested);
    EXPECT_EQ(ok.controller.diagnosticsSelector(), 0xA1);
    EXPECT_EQ(ok.controller.upperPage(), page::Setup);
    EXPECT_EQ(ok.controller.startupCountdown(), LinkController::kStartupReads);

    ControllerBench failed;
    failed.controller.selectPage(TabRow::Lower, page::VideoTest);
    failed.controller.setVlaRunning(true);
    failed.status({0, 0x00, 0x80, 0, 0, 0});
    EXPECT_FALSE(failed.controller.vlaRunning());
    EXPECT_EQ(failed.controller.lowerPage(), page::CommandStatus);
    ASSERT_EQ(failed.ui.messages.size(), 1u);
    EXPECT_EQ(failed.ui.messages[0].title, "Warning");
    EXPECT_EQ(failed.ui.messages[0].text, "   VLA failed.\t\t\t\t\t\r Do power reset to continue.");
}

TEST(Status, AStackedBillRefreshesTheVideoTestInExtendedMode) {
    ControllerBench b;
    loadBills(b);
    b.controller.selectPage(TabRow::Lower, page::VideoTest);
    b.status({0x80, 0x01, 0x00, 0x01, 0x00, 0x00});
    EXPECT_EQ(b.controller.requestState(cmd::ReadDiagn0), RequestState::Requested);
    EXPECT_EQ(b.controller.diagnosticsSelector(), 0xA1);
}

// The settlement machine's records as the events tell them: each case a run of
// status replies (s), count reads (c) and the bill table (t); what was reported
// stacked or in doubt, and what was credited.
TEST(Status, MoneyRecordsAreToldAsEvents) {
    struct Step {
        char what;
        Bytes bytes{};
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Strings money;
        int64_t credit;
        std::vector<std::string> records;  // in-doubt records as "reason unit/expected"
    };
    const Bytes escrow3{0x20, 0x00, 0, 3, 0, 0}, stacking3{0x00, 0x08, 0, 3, 0, 0}, stacked3{0x80, 0x01, 0, 3, 0, 0},
        stacked1{0x80, 0x01, 0, 1, 0, 0}, stacked70{0x80, 0x01, 0, 70, 0, 0}, idle{0x00, 0x01, 0, 0, 0, 0};
    auto count = [](uint8_t n) { return Step{'c', {n, 0, 0}}; };
    const Step table{'t'};
    // clang-format off
    const Case cases[] = {
        {"another type on the next reply is another bill",
         {table, count(0), {'s', escrow3}, {'s', stacked3}, {'s', stacked1}},
         {"bill stacked : EUR  20", "bill stacked : EUR  5"}, 25, {}},
        {"two types before the table are two bills",
         {{'s', stacking3}, {'s', stacked3}, {'s', stacked1}, table, {'s', idle}},
         {"(cr) bill stacked : EUR  20", "(cr) bill stacked : EUR  5"}, 25, {}},
        {"a report told again after idle replies, the count not risen",
         {table, count(0), {'s', escrow3}, {'s', stacked3}, {'s', idle}, {'s', idle}, {'s', stacked3}, count(1)},
         {"bill stacked : EUR  20", "bill in doubt : EUR  20 (unit count 1, expected 2)"}, 20,
         {"count-not-risen 1/2"}},
        {"a type without a row in doubt is named by its number",
         {table, count(0), {'s', stacked70}, {'s', idle}, {'s', stacked70}, count(1)},
         {"bill stacked : type 70  0", "bill in doubt : type 70 (unit count 1, expected 2)"}, 0,
         {"count-not-risen 1/2"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Records : StatusListener {
            void moneyEvent(const MoneyEvent& e) override {
                if (e.kind == MoneyKind::InDoubt)
                    doubts.push_back(e.reason + " " + std::to_string(e.unitCount) + "/" +
                                     std::to_string(e.expectedCount));
            }
            std::vector<std::string> doubts;
        } records;
        ControllerBench b;
        b.controller.addStatusListener(&records);
        b.stores.escrow.autoAccept = true;
        b.stores.escrow.creditLimitOn = true;
        b.stores.escrow.creditLimit = 1000;
        for (const Step& step : c.steps) {
            if (step.what == 't') loadBills(b);
            if (step.what == 'c') b.reply(cmd::ReadBillCounter, step.bytes);
            if (step.what != 's') continue;
            b.status(step.bytes);
            // The next tick sends what the reply asked for (a decision, a count read).
            b.tick();
            b.take();
        }
        Strings money;
        for (const std::string& e : b.events())
            if (e.find("stacked") != std::string::npos || e.find("doubt") != std::string::npos) money.push_back(e);
        EXPECT_EQ(money, c.money);
        EXPECT_EQ(b.stores.escrow.creditTotal, c.credit);
        EXPECT_EQ(records.doubts, c.records);
    }
}

// Stacked bills the waiting list cannot hold are told at once, by their type, and counted.
TEST(Status, StackedBillsBeyondTheWaitingListAreToldUnnamed) {
    ControllerBench b;
    for (size_t i = 0; i <= Settlement::kWaitingForNameMax; ++i)
        b.status({0x80, 0x01, 0x00, static_cast<uint8_t>(i % 2 ? 1 : 2), 0x00, 0x00});
    EXPECT_EQ(b.events(), (Strings{"bill stacked : type 2 (not named: too many waiting)"}));
    EXPECT_EQ(b.controller.linkCounters().unnamedStacked, 1u);
    loadBills(b);
    EXPECT_EQ(b.stores.events.counter(), 1u + Settlement::kWaitingForNameMax);
    EXPECT_EQ(b.events().back(), "(cr) bill stacked : EUR  5");
}

}  // namespace
}  // namespace halvek
