// The escrow policy as one table of fact sequences and the link requests they bring.
#include "service/escrow_policy.h"

#include <gtest/gtest.h>

#include <vector>

using namespace halvek::service;

namespace {

using K = PolicyRequest::Kind;

struct Fact {
    enum What { LinkReady, Controller, NoController, ControllerInhibit, Escrow, Decided, Tick } what;
    int64_t at = 0;
    int64_t episode = 0;  // Escrow, Decided; ControllerInhibit: 1 = on
    std::vector<PolicyRequest> expect;
};

struct Scenario {
    const char* name;
    EscrowPolicyOptions options;
    std::vector<Fact> facts;
};

PolicyRequest restart(int64_t e) { return {K::RestartEscrow, e}; }
PolicyRequest byDefault(int64_t e, Action a = Action::Return) { return {K::DecideDefault, e, a}; }
const PolicyRequest kInhibit{K::Inhibit};
const PolicyRequest kUninhibit{K::Uninhibit};

EscrowPolicyOptions longWait() {
    EscrowPolicyOptions o;
    o.escrowTimeoutMs = 25000;
    return o;
}

EscrowPolicyOptions acceptByDefault() {
    EscrowPolicyOptions o;
    o.defaultAction = Action::Accept;
    return o;
}

const Scenario kScenarios[] = {
    {"no controller: the unit is inhibited from the start, a controller lifts it",
     {},
     {{Fact::LinkReady, 0, 0, {kInhibit}},
      {Fact::Controller, 100, 0, {kUninhibit}},
      {Fact::NoController, 200, 0, {kInhibit}}}},
    {"the controller decides in time: no restart, no default",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 1000, 1, {}},
      {Fact::Tick, 5000, 0, {}},
      {Fact::Decided, 6000, 1, {}},
      {Fact::Tick, 20000, 0, {}}}},
    {"deadline at the unit's own time-out: held once, then returned by default",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 1000, 4, {}},
      {Fact::Tick, 8999, 0, {}},
      {Fact::Tick, 9000, 0, {restart(4)}},
      {Fact::Tick, 10999, 0, {}},
      {Fact::Tick, 11000, 0, {byDefault(4)}},
      {Fact::Tick, 30000, 0, {}}}},
    {"a long deadline keeps the bill held again and again",
     longWait(),
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 0, 2, {}},
      {Fact::Tick, 8000, 0, {restart(2)}},
      {Fact::Tick, 15999, 0, {}},
      {Fact::Tick, 16000, 0, {restart(2)}},
      {Fact::Tick, 24000, 0, {}},  // the deadline comes before the unit's time-out
      {Fact::Tick, 25000, 0, {byDefault(2)}}}},
    {"a late tick still takes the default once",
     acceptByDefault(),
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 0, 3, {}},
      {Fact::Tick, 60000, 0, {byDefault(3, Action::Accept)}},
      {Fact::Tick, 70000, 0, {}}}},
    {"the controller leaves mid-escrow: default at once and the unit inhibited; a new one lifts it",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 100, 5, {}},
      {Fact::NoController, 200, 0, {byDefault(5), kInhibit}},
      {Fact::Tick, 20000, 0, {}},
      {Fact::Controller, 21000, 0, {kUninhibit}}}},
    {"a bill that came in with nobody to decide is settled by default at once",
     {},
     {{Fact::LinkReady, 0, 0, {kInhibit}}, {Fact::Escrow, 50, 6, {byDefault(6)}}, {Fact::Tick, 20000, 0, {}}}},
    {"the same escrow said twice is one episode",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::Escrow, 0, 8, {}},
      {Fact::Escrow, 500, 8, {}},
      {Fact::Tick, 10000, 0, {byDefault(8)}}}},
    {"the controller's inhibit holds while it stays and goes with it",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}},
      {Fact::ControllerInhibit, 10, 1, {kInhibit}},
      {Fact::ControllerInhibit, 20, 1, {}},
      {Fact::NoController, 30, 0, {}},
      {Fact::Controller, 40, 0, {kUninhibit}}}},
    {"the link coming back repeats what the unit is to do",
     {},
     {{Fact::Controller, 0, 0, {kUninhibit}}, {Fact::LinkReady, 10, 0, {kUninhibit}}}},
};

void apply(EscrowPolicy& policy, const Fact& f) {
    switch (f.what) {
        case Fact::LinkReady:
            policy.onLinkReady(f.at);
            break;
        case Fact::Controller:
            policy.onController(true, f.at);
            break;
        case Fact::NoController:
            policy.onController(false, f.at);
            break;
        case Fact::ControllerInhibit:
            policy.onControllerInhibit(f.episode == 1);
            break;
        case Fact::Escrow:
            policy.onEscrow(f.episode, f.at);
            break;
        case Fact::Decided:
            policy.onDecided(f.episode);
            break;
        case Fact::Tick:
            policy.onTick(f.at);
            break;
    }
}

TEST(EscrowPolicy, Scenarios) {
    for (const Scenario& s : kScenarios) {
        EscrowPolicy policy(s.options);
        for (size_t i = 0; i < s.facts.size(); ++i) {
            apply(policy, s.facts[i]);
            EXPECT_EQ(policy.takeRequests(), s.facts[i].expect) << s.name << ", fact " << i;
        }
    }
}

// The owner sleeps until the deadline the policy gives: a tick just before it
// must find nothing to do, a tick at it something, and with no deadline no
// tick ever may (else a restart or a default would come late or never).
TEST(EscrowPolicy, TheNextDeadlineIsWhenATickFirstHasSomethingToDo) {
    for (const Scenario& s : kScenarios) {
        EscrowPolicy policy(s.options);
        for (size_t i = 0; i < s.facts.size(); ++i) {
            apply(policy, s.facts[i]);
            policy.takeRequests();
            const auto next = policy.nextDeadlineMs();
            EscrowPolicy before = policy, at = policy;
            if (!next) {
                at.onTick(s.facts[i].at + 3600000);
                EXPECT_TRUE(at.takeRequests().empty()) << s.name << ", fact " << i;
                continue;
            }
            before.onTick(*next - 1);
            EXPECT_TRUE(before.takeRequests().empty()) << s.name << ", fact " << i;
            at.onTick(*next);
            EXPECT_FALSE(at.takeRequests().empty()) << s.name << ", fact " << i;
        }
    }
}

TEST(EscrowPolicy, TheEscrowSaysWhenItsDefaultComes) {
    EscrowPolicy policy;
    policy.onController(true, 0);
    EXPECT_EQ(policy.onEscrow(1, 500), 10500);
    EXPECT_EQ(policy.pendingEpisode(), 1);
}

}  // namespace
