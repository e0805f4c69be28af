#include <gtest/gtest.h>

#include "controller_bench.h"
#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ControllerBench;

const Bytes kPoll = {0x02, 0x00, 0x00, 0x07, 0xCC, 0xFF, 0x2B};

TEST(Scan, TheLowestRequestedCodeGoesFirstAndOneFramePerTick) {
    ControllerBench b;
    b.controller.request(0xE1);
    b.controller.request(0xC1);
    b.controller.onTick();
    EXPECT_EQ(b.take()[4], 0xC1);
    b.reply(0xC1, Bytes(8, 0));
    b.controller.onTick();
    EXPECT_EQ(b.take()[4], 0xE1);
    b.reply(0xE1, {0x04});
    b.controller.onTick();
    EXPECT_EQ(b.take(), kPoll);
}

TEST(Scan, AnAwaitedReplyHoldsBackPollsWithoutCountingThem) {
    ControllerBench b;
    b.controller.request(0xE5);
    b.controller.onTick();
    b.take();
    b.controller.request(0xF0);  // higher: waits too
    for (int i = 0; i < 3; ++i) {
        b.controller.onTick();
        EXPECT_TRUE(b.waiting().empty());
    }
    EXPECT_EQ(b.controller.missedPollCount(), 0);
    b.controller.request(0x32);  // lower codes still go
    b.controller.onTick();
    EXPECT_EQ(b.take()[4], 0x32);
}

TEST(Scan, ACommandNeverAnsweredIsGivenUpAndCountedAsMissed) {
    ControllerBench b;
    b.controller.request(0xD1);
    b.controller.onTick();
    b.take();
    for (int i = 1; i < LinkController::kReplyWaitTicks; ++i) b.controller.onTick();
    EXPECT_EQ(b.controller.requestState(0xD1), RequestState::AwaitingReply);
    b.controller.onTick();
    EXPECT_EQ(b.controller.requestState(0xD1), RequestState::Idle);
    EXPECT_EQ(b.controller.missedPollCount(), 1);
    b.controller.onTick();
    EXPECT_EQ(b.take(), kPoll);  // polling again
}

TEST(Scan, AMarkWithoutABuilderDoesNotStallTheScan) {
    ControllerBench b;
    b.controller.request(cmd::VideoSamples);
    b.controller.onTick();
    EXPECT_EQ(b.take(), kPoll);
    EXPECT_EQ(b.controller.requestState(cmd::VideoSamples), RequestState::Idle);
}

TEST(Scan, SilenceDisconnectsOnThe11thTickAndAFrameReconnects) {
    ControllerBench b;
    const std::string title = text::windowTitle();
    b.controller.onTick();
    ASSERT_EQ(b.ui.titles.size(), 1u);
    EXPECT_EQ(b.ui.titles[0], title + " connected");
    b.controller.setStartupCountdown(0);  // no command awaits its reply meanwhile
    for (int i = 2; i <= 10; ++i) {
        b.take();
        b.controller.onTick();
    }
    EXPECT_TRUE(b.controller.linkConnected());
    b.take();
    b.controller.onTick();  // the 11th unanswered poll
    EXPECT_FALSE(b.controller.linkConnected());
    EXPECT_EQ(b.ui.titles.back(), title + " disconnected");
    b.take();
    b.controller.onTick();  // polling goes on
    EXPECT_EQ(b.take(), kPoll);

    b.status({0, 1, 0, 0, 0, 0});
    EXPECT_EQ(b.controller.missedPollCount(), 0);
    b.controller.onTick();
    EXPECT_EQ(b.ui.titles.back(), title + " connected");
    EXPECT_EQ(b.controller.startupCountdown(), LinkController::kStartupReads - 1);  // start-up reads run again
}

TEST(Scan, ABusyBufferStillCountsThePoll) {
    ControllerBench b;
    ASSERT_TRUE(placeCommand(b.block, 0xD1));
    b.controller.onTick();
    EXPECT_EQ(b.controller.missedPollCount(), 1);
}

TEST(Scan, InterruptModeSendsNoPollsButAnswersAPollRequest) {
    ControllerBench b;
    b.controller.setInterruptMode(true);
    b.controller.onTick();
    EXPECT_TRUE(b.waiting().empty());
    EXPECT_TRUE(b.ui.titles.empty());
    b.reply(cmd::PollNow);
    EXPECT_EQ(b.take(), kPoll);
}

TEST(Scan, AnUnsupportedCommandIsSaidAndReleased) {
    ControllerBench b;
    b.controller.selectPage(TabRow::Upper, page::Counters);
    b.controller.request(0xDF);
    b.controller.onTick();
    b.take();
    b.reply(cmd::Unsupported);
    ASSERT_EQ(b.ui.messages.size(), 1u);
    EXPECT_EQ(b.ui.messages[0].title, "Info");
    EXPECT_EQ(b.ui.messages[0].text, "Command not supported in this firmware version");
    EXPECT_EQ(b.controller.upperPage(), page::Setup);
    EXPECT_FALSE(b.ui.pages.back().moveTab);
    EXPECT_EQ(b.controller.requestState(0xDF), RequestState::Idle);  // the scan is not held
}

TEST(Scan, AFrameWithoutStartByteIsDroppedButCountsAsAnAnswer) {
    ControllerBench b;
    for (int i = 0; i < 5; ++i) {
        b.controller.onTick();
        b.take();
    }
    Bytes f = encodeFrame(true, 0xE1, {0x08});
    f[0] = 0x03;
    b.replyFrame(f);
    EXPECT_EQ(b.controller.missedPollCount(), 0);
    EXPECT_FALSE(b.controller.interruptMode());
}

TEST(Scan, PollIntervalRestartsARunningTimer) {
    ControllerBench b;
    b.controller.startTimer();
    EXPECT_EQ(b.ui.timerMs, 350);
    b.controller.setPollInterval(500);
    EXPECT_TRUE(b.ui.timerRunning);
    EXPECT_EQ(b.ui.timerMs, 500);
    EXPECT_EQ(b.ui.captions.back(), "Polling Mode - 500 ms");
    b.controller.stopTimer();
    b.controller.setPollInterval(100);
    EXPECT_FALSE(b.ui.timerRunning);  // stored for the next CONNECT
    EXPECT_EQ(b.controller.pollInterval(), 100);
}

}  // namespace
}  // namespace halvek
