// The settlement machine fed straight with facts: what status replies show,
// count reads, the bill table, the link found again and decisions. Each case
// is a run of facts and the money records it must give.
#include "money/settlement.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace halvek {
namespace {

using Strings = std::vector<std::string>;

// The machine with the link played as it behaves: a decision asked for is
// placed before the next fact, a count asked for stays pending until a count
// fact answers it.
struct Harness {
    explicit Harness(const SettlementRules& rules = {}) { machine.setRules(rules); }

    std::vector<MoneyEvent> records;
    Strings asks;
    bool countPending = false;
    std::vector<EscrowAction> toPlace;
    Settlement machine{[this](const MoneyEvent& e) { records.push_back(e); },
                       [this](const SettlementRequest& r) {
                           switch (r.kind) {
                               case SettlementRequest::Kind::ReadCount:
                                   countPending = true;
                                   asks.push_back("count");
                                   break;
                               case SettlementRequest::Kind::ReadBillTable:
                                   asks.push_back("table");
                                   break;
                               case SettlementRequest::Kind::SendDecision:
                                   asks.push_back(escrowActionName(r.action));
                                   toPlace.push_back(r.action);
                                   break;
                           }
                       }};

    void placeWaiting() {
        std::vector<EscrowAction> placing;
        placing.swap(toPlace);
        for (EscrowAction a : placing) machine.decisionPlaced(a);
    }
    void status(StatusShown s) {
        s.countReadPending = countPending;
        machine.statusShown(s);
        placeWaiting();
    }
    void count(uint32_t n) {
        machine.countReadPlaced();
        countPending = false;
        machine.countRead(n);
    }
    void countGivenUp() {
        countPending = false;
        machine.countGivenUp();
    }

    // The money records, shortly: escrow records and frames sent are left out.
    Strings money() const {
        Strings out;
        for (const MoneyEvent& e : records) {
            const std::string value = e.value < 0 ? "?" : std::to_string(e.value);
            const std::string type = std::to_string(e.type);
            switch (e.kind) {
                case MoneyKind::Decision:
                    out.push_back(e.action + " " + type + (e.by == "auto" ? "" : " by " + e.by));
                    break;
                case MoneyKind::Stacked: {
                    static const char* const told[] = {"", "late ", "unnamed ", "coupon "};
                    out.push_back(std::string("stacked ") + told[static_cast<int>(e.told)] + type + " " + value);
                    break;
                }
                case MoneyKind::Credit:
                    out.push_back("credit " + value);
                    break;
                case MoneyKind::Returned:
                    out.push_back("returned " + type);
                    break;
                case MoneyKind::InDoubt:
                    out.push_back("doubt " + type + " " + e.reason + " " +
                                  (e.unitCount < 0 ? "?" : std::to_string(e.unitCount)) + "/" +
                                  (e.expectedCount < 0 ? "?" : std::to_string(e.expectedCount)));
                    break;
                default:
                    break;
            }
        }
        return out;
    }
};

using Fact = std::function<void(Harness&)>;

StatusShown shown(int type) {
    StatusShown s;
    s.type = type;
    return s;
}
Fact escrow(int type) {
    return [=](Harness& h) {
        StatusShown s = shown(type);
        s.escrow = true;
        h.status(s);
    };
}
Fact stacking(int type) {
    return [=](Harness& h) {
        StatusShown s = shown(type);
        s.stacking = true;
        h.status(s);
    };
}
Fact stacked(int type) {
    return [=](Harness& h) {
        StatusShown s = shown(type);
        s.stacked = s.idle = true;
        h.status(s);
    };
}
Fact returning(int type) {
    return [=](Harness& h) {
        StatusShown s = shown(type);
        s.returning = true;
        h.status(s);
    };
}
const Fact idle = [](Harness& h) {
    StatusShown s = shown(0);
    s.idle = true;
    h.status(s);
};
const Fact powerUp = [](Harness& h) {
    StatusShown s = shown(0);
    s.powerUp = true;
    h.status(s);
};
Fact count(uint32_t n) {
    return [=](Harness& h) { h.count(n); };
}
const Fact countGivenUp = [](Harness& h) { h.countGivenUp(); };
const Fact linkFound = [](Harness& h) { h.machine.linkFound(); };
// A bill the last run accepted (episode 7) with no outcome recorded; expected: the count before it.
Fact acceptedBeforeRestart(int type, int64_t expected) {
    return [=](Harness& h) { h.machine.acceptedBeforeRestart(type, 7, expected); };
}
// Types 1-5 are worth 5, 10, 20, 50 and 100.
const Fact table = [](Harness& h) {
    BillValues v;
    v.loaded = true;
    const int64_t values[] = {5, 10, 20, 50, 100};
    for (int t = 1; t <= 5; ++t) v.value[static_cast<size_t>(t)] = values[t - 1];
    h.machine.billTable(v);
};

SettlementRules autoAcceptUpTo(int64_t limit) {
    SettlementRules r;
    r.autoAccept = true;
    r.creditLimitOn = true;
    r.creditLimit = limit;
    return r;
}

TEST(Settlement, Scenarios) {
    struct Case {
        const char* name;
        std::vector<Fact> facts;
        Strings money;
        int64_t credit;
        SettlementRules rules = autoAcceptUpTo(1000);
    };
    // clang-format off
    const Case cases[] = {
        {"the same type on the next reply is the same bill",
         {table, count(0), escrow(3), stacking(3), stacked(3), stacked(3), idle},
         {"accept 3", "stacked 3 20", "credit 20"}, 20},
        {"another type on the next reply is another bill",
         {table, count(0), escrow(3), stacked(3), stacked(1)},
         {"accept 3", "stacked 3 20", "credit 20", "stacked 1 5", "credit 5"}, 25},
        {"two types before the table are two bills, named once it comes",
         {stacking(3), stacked(3), stacked(1), table, idle},
         {"stacked late 3 20", "credit 20", "stacked late 1 5", "credit 5"}, 25},
        {"a report told again after idle replies, the count not risen: in doubt with both figures",
         {table, count(0), escrow(3), stacked(3), idle, idle, stacked(3), count(1)},
         {"accept 3", "stacked 3 20", "credit 20", "doubt 3 count-not-risen 1/2"}, 20},
        {"a report told again after idle replies, the count risen: a second bill",
         {table, count(0), escrow(3), stacked(3), idle, stacked(3), count(2)},
         {"accept 3", "stacked 3 20", "credit 20", "stacked 3 20", "credit 20"}, 40},
        {"a report told again, the count never given: in doubt",
         {table, count(0), escrow(3), stacked(3), idle, stacked(3), countGivenUp, countGivenUp, countGivenUp,
          countGivenUp},
         {"accept 3", "stacked 3 20", "credit 20", "doubt 3 count-not-given ?/2"}, 20},
        {"a returned bill is returned, whatever was decided",
         {table, count(0), escrow(3), returning(3), idle},
         {"accept 3", "returned 3"}, 0},
        {"over the credit limit: returned",
         {table, count(0), escrow(3), stacked(3), escrow(3), returning(3), idle},
         {"accept 3", "stacked 3 20", "credit 20", "return 3", "returned 3"}, 20, autoAcceptUpTo(30)},
        {"no decision before the bill table and the unit's first count",
         {escrow(3), escrow(3), table, escrow(3), count(0), escrow(3)},
         {"accept 3"}, 0},
        {"accepted and gone without a report, the count risen: stacked",
         {table, count(0), escrow(3), idle, count(1)},
         {"accept 3", "stacked 3 20", "credit 20"}, 20},
        {"accepted and gone without a report, the count not risen: returned",
         {table, count(0), escrow(3), idle, count(0)},
         {"accept 3", "returned 3"}, 0},
        {"a count taken while the accepted bill is under way is not taken",
         {table, count(0), escrow(3), count(1), idle, count(1)},
         {"accept 3", "stacked 3 20", "credit 20"}, 20},
        {"the unit restarts with a bill accepted, its count risen: stacked",
         {table, count(5), escrow(3), powerUp, count(6)},
         {"accept 3", "stacked 3 20", "credit 20"}, 20},
        {"the unit restarts with a bill accepted and does not give its count: in doubt",
         {table, count(5), escrow(3), powerUp, countGivenUp, countGivenUp, countGivenUp, countGivenUp},
         {"accept 3", "doubt 3 count-not-given ?/6"}, 0},
        {"the link is lost with a bill accepted, the count carries on and rose: stacked",
         {table, count(5), escrow(3), linkFound, idle, table, count(6)},
         {"accept 3", "stacked 3 20", "credit 20"}, 20},
        {"the link is lost with a bill accepted, the count does not carry on: in doubt",
         {table, count(5), escrow(3), linkFound, idle, table, count(0)},
         {"accept 3", "doubt 3 count-not-carried-on 0/6"}, 0},
        {"the link is lost with a bill accepted, another bill in escrow settles the first by the count",
         {table, count(5), escrow(3), linkFound, table, escrow(2), count(5)},
         {"accept 3", "returned 3"}, 0},
        {"a bill accepted before the restart, the count risen: stacked",
         {acceptedBeforeRestart(3, 5), table, idle, count(6)},
         {"stacked 3 20", "credit 20"}, 20},
        {"a bill accepted before the restart, the count not risen: returned",
         {acceptedBeforeRestart(3, 5), table, idle, count(5)},
         {"returned 3"}, 0},
        {"a bill accepted before the restart, its stacked report still held: settled once",
         {acceptedBeforeRestart(3, 5), table, stacked(3), count(6)},
         {"stacked 3 20", "credit 20"}, 20},
        {"a bill accepted before the restart, a count read before the first reply is not taken",
         {acceptedBeforeRestart(3, 5), table, count(6), stacked(3), count(6)},
         {"stacked 3 20", "credit 20"}, 20},
        {"a bill accepted before the restart, the count does not carry on: in doubt",
         {acceptedBeforeRestart(3, 5), table, idle, count(0)},
         {"doubt 3 count-not-carried-on 0/6"}, 0},
        {"a bill accepted before the restart with no count to compare: in doubt",
         {acceptedBeforeRestart(3, -1), table, idle, count(6)},
         {"doubt 3 outcome-not-seen-count-not-known ?/?"}, 0},
        {"without the credit limit nothing is credited",
         {table, count(0), escrow(3), stacked(3)},
         {"accept 3", "stacked 3 20"}, 0, SettlementRules{}},
        {"a type the table has no row for is stacked, not valued and not credited",
         {table, count(0), stacked(9)},
         {"stacked 9 ?"}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.rules);
        for (const Fact& f : c.facts) f(h);
        EXPECT_EQ(h.money(), c.money);
        EXPECT_EQ(h.machine.creditTotal(), c.credit);
        // Every record carries the credit total as it stands after it.
        if (!h.records.empty()) EXPECT_EQ(h.records.back().creditTotal, c.credit);
    }
}

// The escrow settings decide at once: accept while the bill keeps the credit
// total within the limit, return past it, leave it to the technician otherwise.
TEST(Settlement, TheSettingsDecide) {
    struct Case {
        bool autoAccept, limitOn;
        int64_t limit;
        int type;
        const char* decision;  // "" none
    };
    // clang-format off
    const Case cases[] = {
        {true, false, 10, 3, "accept"}, {true, true, 20, 3, "accept"},  // reaching the limit exactly is within it
        {true, true, 19, 3, "return"},  {false, true, 19, 3, "return"},
        {false, true, 20, 3, ""},       {false, false, 10, 3, ""},
        {true, true, 1000, 9, "return"},  // a value not known never passes a limit
        {true, false, 10, 9, "accept"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SettlementRules rules;
        rules.autoAccept = c.autoAccept;
        rules.creditLimitOn = c.limitOn;
        rules.creditLimit = c.limit;
        Harness h(rules);
        for (const Fact& f : {table, count(0), escrow(c.type)}) f(h);
        const Strings expected =
            *c.decision ? Strings{std::string(c.decision) + " " + std::to_string(c.type)} : Strings{};
        EXPECT_EQ(h.money(), expected) << c.autoAccept << c.limitOn << " " << c.limit << " type " << c.type;
    }
}

// The bill waits for the table and for the unit's first count: both are asked for.
TEST(Settlement, AskedForWhatADecisionNeeds) {
    Harness h(autoAcceptUpTo(1000));
    escrow(3)(h);
    EXPECT_EQ(h.asks, (Strings{"count", "table"}));
    table(h);
    escrow(3)(h);
    EXPECT_EQ(h.asks.size(), 2u);  // the count is on its way: the bill waits for it
    count(0)(h);
    escrow(3)(h);
    EXPECT_EQ(h.asks, (Strings{"count", "table", "accept"}));
}

// A decision the unit does not act on is placed again every few replies, a few
// times, without deciding again.
TEST(Settlement, AnUnactedDecisionIsPlacedAgainAFewTimes) {
    Harness h(autoAcceptUpTo(1000));
    for (const Fact& f : {table, count(0)}) f(h);
    for (int i = 0; i < 1 + Settlement::kResendAfterReplies * (Settlement::kMaxResends + 2); ++i) escrow(3)(h);
    EXPECT_EQ(h.asks, Strings(1 + Settlement::kMaxResends, "accept"));
    EXPECT_EQ(h.money(), (Strings{"accept 3"}));
}

// Seventeen bills before the table: sixteen wait for their name, the next is
// recorded at once without one.
TEST(Settlement, BillsWaitingForANameAreFew) {
    Harness h(autoAcceptUpTo(1000));
    for (size_t i = 0; i <= Settlement::kWaitingForNameMax; ++i) stacked(i % 2 ? 1 : 2)(h);
    EXPECT_EQ(h.money(), (Strings{"stacked unnamed 2 ?"}));
    table(h);
    EXPECT_EQ(h.machine.creditTotal(), 8 * 10 + 8 * 5);
}

TEST(Settlement, ExternalDecisionsAreTakenOncePerEpisode) {
    SettlementRules rules;
    rules.external = true;
    rules.creditAlways = true;
    Harness h(rules);
    EXPECT_EQ(h.machine.decide(1, EscrowAction::Accept, "controller"), DecideResult::NoBillInEscrow);
    for (const Fact& f : {table, count(0), escrow(3), escrow(3)}) f(h);
    EXPECT_EQ(h.money(), Strings{});  // waits for its owner
    const Settlement::Episode ep = h.machine.episode();
    EXPECT_EQ(ep.type, 3);
    EXPECT_EQ(ep.value, 20);
    EXPECT_FALSE(ep.decided);
    EXPECT_EQ(h.machine.decide(ep.id + 1, EscrowAction::Accept, "controller"), DecideResult::OtherEpisode);
    EXPECT_EQ(h.machine.decide(ep.id, EscrowAction::Accept, "controller"), DecideResult::Taken);
    EXPECT_EQ(h.machine.decide(ep.id, EscrowAction::Return, "default"), DecideResult::AlreadyDecided);
    h.placeWaiting();
    stacked(3)(h);
    EXPECT_EQ(h.money(), (Strings{"accept 3 by controller", "stacked 3 20", "credit 20"}));
    EXPECT_EQ(h.asks, (Strings{"accept"}));
    // The next bill is another episode.
    escrow(4)(h);
    EXPECT_EQ(h.machine.decide(ep.id, EscrowAction::Return, "controller"), DecideResult::OtherEpisode);
    EXPECT_EQ(h.machine.decide(h.machine.episode().id, EscrowAction::Return, "default"), DecideResult::Taken);
}

// An owner's accept taken while the unit's first count is on its way goes out
// once the count came: the accept records the count it must raise.
TEST(Settlement, AnExternalAcceptWaitsForTheFirstCount) {
    SettlementRules rules;
    rules.external = true;
    Harness h(rules);
    for (const Fact& f : {table, escrow(3)}) f(h);
    EXPECT_EQ(h.asks, (Strings{"count"}));
    EXPECT_EQ(h.machine.decide(h.machine.episode().id, EscrowAction::Accept, "controller"), DecideResult::Taken);
    EXPECT_EQ(h.asks, (Strings{"count"}));  // held
    count(9)(h);
    EXPECT_EQ(h.asks, (Strings{"count", "accept"}));
    h.placeWaiting();
    ASSERT_EQ(h.records.back().kind, MoneyKind::Sent);
    EXPECT_EQ(h.records.back().expectedCount, 9);
}

// The technician's button decides a bill the settings leave open, once; a bill
// the settings decided is not decided again.
TEST(Settlement, AButtonDecidesOnlyAnUndecidedBill) {
    SettlementRules rules = autoAcceptUpTo(1000);
    rules.autoAccept = false;
    Harness h(rules);
    for (const Fact& f : {table, count(0), escrow(3)}) f(h);
    const int64_t id = h.machine.episode().id;
    EXPECT_EQ(h.machine.decide(id, EscrowAction::Accept, "operator"), DecideResult::Taken);
    EXPECT_EQ(h.machine.decide(id, EscrowAction::Accept, "operator"), DecideResult::AlreadyDecided);
    h.placeWaiting();
    // Accepted by hand and gone without a report: the count settles it as any accepted bill.
    for (const Fact& f : {idle, count(1)}) f(h);
    EXPECT_EQ(h.money(), (Strings{"accept 3 by operator", "stacked 3 20", "credit 20"}));

    Harness automatic(autoAcceptUpTo(1000));
    for (const Fact& f : {table, count(0), escrow(3)}) f(automatic);
    EXPECT_EQ(automatic.machine.decide(automatic.machine.episode().id, EscrowAction::Return, "operator"),
              DecideResult::AlreadyDecided);
}

// Records are numbered on from the journal's next seq; each record of an
// escrow episode carries the seq of the episode's escrow record.
TEST(Settlement, RecordsAreNumberedAndTiedToTheirEpisode) {
    Harness h(autoAcceptUpTo(1000));
    h.machine.setFirstSeq(41);
    for (const Fact& f : {table, count(0), escrow(3), stacked(3), stacked(1)}) f(h);
    h.machine.setFirstSeq(5);  // never lowered
    escrow(2)(h);
    std::vector<std::string> seen;
    for (const MoneyEvent& e : h.records)
        seen.push_back(std::string(moneyKindName(e.kind)) + " " + std::to_string(e.seq) + " ep " +
                       std::to_string(e.episode));
    EXPECT_EQ(seen,
              (Strings{"escrow 41 ep 41", "decision 42 ep 41", "sent 43 ep 41", "stacked 44 ep 41", "credit 45 ep 41",
                       "stacked 46 ep 0", "credit 47 ep 0", "escrow 48 ep 48", "decision 49 ep 48", "sent 50 ep 48"}));
    EXPECT_EQ(h.machine.nextSeq(), 51u);
}

TEST(Settlement, TheCreditIsClearedByTheTechnician) {
    Harness h(autoAcceptUpTo(1000));
    for (const Fact& f : {table, count(0), stacked(3)}) f(h);
    EXPECT_EQ(h.machine.creditTotal(), 20);
    h.machine.creditCleared();
    EXPECT_EQ(h.machine.creditTotal(), 0);
    stacked(1)(h);
    EXPECT_EQ(h.records.back().creditTotal, 5);
}

}  // namespace
}  // namespace halvek
