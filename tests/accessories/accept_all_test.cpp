#include <gtest/gtest.h>

#include <algorithm>

#include "accessory_rig.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

struct AcceptAllFixture : testing::Test {
    AcceptAllFixture() {
        session.setTickControl([this](bool on) { ticking = on; });
        host.controller.startTimer();
        session.open();
    }
    test::RecordingUi ui;
    ControllerHost host{ui};
    AcceptAllSession session{host.controller, ui};
    bool ticking = false;
};

TEST_F(AcceptAllFixture, CountsDownFromThePeriodToTheEnd) {
    struct Case {
        int period;
        int ticksToEnd;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{3, 3}, Case{255, 255}}) {
        ASSERT_TRUE(session.setPeriod(c.period));
        ASSERT_TRUE(session.start());
        EXPECT_EQ(host.stores.acceptAllSeconds, c.period);
        EXPECT_EQ(host.controller.requestState(cmd::SetAcceptAll), RequestState::Requested);
        EXPECT_TRUE(ticking);
        EXPECT_STREQ(session.modeText(), "NO VALIDATING - ACCEPT ALL MODE");
        EXPECT_FALSE(session.setPeriod(10));  // the box is locked during the countdown
        int ticks = 0;
        while (session.running() && ticks < 300) {
            session.onTick();
            ++ticks;
            if (session.running()) {
                EXPECT_EQ(session.timeLeft(), c.period - ticks);
            }
        }
        EXPECT_EQ(ticks, c.ticksToEnd) << c.period;
        EXPECT_EQ(session.timeLeft(), 0);
        EXPECT_FALSE(ticking);
        EXPECT_STREQ(session.modeText(), "STANDARD VALIDATING MODE");
    }
    for (int bad : {-1, 256}) EXPECT_FALSE(session.setPeriod(bad));
    EXPECT_EQ(session.period(), 255);
}

TEST_F(AcceptAllFixture, ReopeningTheWindowShowsTheRunningCountdown) {
    ASSERT_TRUE(session.setPeriod(30));
    ASSERT_TRUE(session.start());
    session.onTick();
    session.open();  // the window was closed and is opened again
    EXPECT_TRUE(session.running());
    EXPECT_EQ(session.timeLeft(), 29);
    EXPECT_STREQ(session.modeText(), "NO VALIDATING - ACCEPT ALL MODE");

    session.onCouponStacked();  // the stop: back to the period, nothing sent
    EXPECT_FALSE(session.running());
    EXPECT_EQ(session.timeLeft(), 30);
    EXPECT_FALSE(ticking);
    session.open();
    EXPECT_EQ(session.period(), 60);
}

TEST_F(AcceptAllFixture, StartAndResetNeedThePolledValidator) {
    host.controller.stopTimer();
    EXPECT_FALSE(session.start());
    EXPECT_FALSE(session.reset());  // it would otherwise wait and go out at the next CONNECT
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].title, "Info");
    EXPECT_EQ(ui.messages[0].text, "No Connection");
    EXPECT_EQ(ui.messages[1].title, "Info");
    EXPECT_EQ(ui.messages[1].text, "No connection");
    EXPECT_EQ(host.controller.requestState(cmd::SetAcceptAll), RequestState::Idle);
    EXPECT_EQ(host.controller.requestState(cmd::ResetSystem), RequestState::Idle);
    host.controller.startTimer();
    EXPECT_TRUE(session.reset());
    EXPECT_EQ(host.controller.requestState(cmd::ResetSystem), RequestState::Requested);
}

TEST_F(AcceptAllFixture, StartSendsOnlyThePeriodOnScreen) {
    ASSERT_TRUE(session.setPeriodText("45"));
    struct Case {
        const char* box;
        const char* said;
    };
    for (const Case c :
         {Case{"", "Please enter a positive integer."}, Case{"300", "Please enter an integer between 0 and 255."}}) {
        EXPECT_FALSE(session.setPeriodText(c.box));
        EXPECT_EQ(session.period(), 45);
        EXPECT_FALSE(session.start()) << c.box;
        EXPECT_EQ(ui.messages.back().text, c.said);
        EXPECT_EQ(host.controller.requestState(cmd::SetAcceptAll), RequestState::Idle);
    }
    ASSERT_TRUE(session.setPeriodText("7"));
    ASSERT_TRUE(session.start());
    EXPECT_EQ(host.stores.acceptAllSeconds, 7);
}

TEST(AcceptAllE2E, TheUnitTakesEverythingUntilACouponIsStacked) {
    test::AccessoryRig rig;
    rig.connect();
    ASSERT_TRUE(rig.acceptAll.setPeriod(200));
    ASSERT_TRUE(rig.acceptAll.start());
    rig.ticks(2);
    const auto& sent = rig.host.stores.history.slots();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "set accept all mode: 200 sec"), sent.end());
    rig.acceptAll.onTick();
    EXPECT_EQ(rig.acceptAll.timeLeft(), 199);

    ASSERT_TRUE(rig.sim.execute("coupon 123").empty());
    ASSERT_TRUE(rig.tickUntil([&] { return !rig.acceptAll.running(); }));
    EXPECT_EQ(rig.acceptAll.timeLeft(), 200);
    EXPECT_STREQ(rig.acceptAll.modeText(), "STANDARD VALIDATING MODE");
}

}  // namespace
}  // namespace halvek
