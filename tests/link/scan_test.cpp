#include <gtest/gtest.h>

#include "controller_bench.h"
#include "link/link_counters_text.h"
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

TEST(Scan, AnAwaitedReplyHoldsBackPollsButTheSilenceStillCounts) {
    ControllerBench b;
    b.controller.request(0xE5);
    b.tick();
    b.take();
    b.controller.request(0xF0);  // higher: waits too
    for (int i = 0; i < 3; ++i) {
        b.tick(60);  // within the reply's time
        EXPECT_TRUE(b.waiting().empty());
    }
    EXPECT_EQ(b.controller.missedPollCount(), 4);  // no frame came in four ticks
    b.controller.request(0x32);                    // lower codes still go
    b.tick(10);
    EXPECT_EQ(b.take()[4], 0x32);
}

// The wait for a reply is counted in time: the margin, plus the time the bytes
// the reply announces take at 9600 baud. A reply that does not come is asked
// for again a few times, then given up, and polling goes on.
TEST(Scan, ACommandNeverAnsweredIsAskedAgainThenGivenUp) {
    ControllerBench b;
    b.controller.request(0xD1);
    b.tick(100);
    EXPECT_EQ(b.take()[4], 0xD1);
    for (int attempt = 1; attempt <= LinkController::kMaxRetries; ++attempt) {
        b.tick(LinkController::kReplyMarginMs - 1);
        EXPECT_EQ(b.controller.requestState(0xD1), RequestState::AwaitingReply);
        b.tick(1);  // sent again on the tick its time ran out
        EXPECT_EQ(b.take()[4], 0xD1) << "attempt " << attempt;
    }
    b.tick(LinkController::kReplyMarginMs);
    EXPECT_EQ(b.controller.requestState(0xD1), RequestState::Idle);
    EXPECT_EQ(b.controller.linkCounters().givenUp, 1u);
    EXPECT_EQ(b.controller.linkCounters().retried, static_cast<uint32_t>(LinkController::kMaxRetries));
    b.tick();
    EXPECT_EQ(b.take(), kPoll);  // polling again

    // A long reply under way: 2048 bytes take 2.35 s at 9600 baud.
    b.controller.request(0xDD);
    b.tick(100);
    b.take();
    b.block.replyAnnounced = 2048;
    b.tick(LinkController::kReplyMarginMs + 2000);
    EXPECT_EQ(b.controller.requestState(0xDD), RequestState::AwaitingReply);
    EXPECT_EQ(b.controller.linkCounters().retried, static_cast<uint32_t>(LinkController::kMaxRetries));
    b.tick(400);
    EXPECT_EQ(b.take()[4], 0xDD);  // its time ran out: asked again
}

TEST(Scan, AMarkWithoutABuilderDoesNotStallTheScan) {
    ControllerBench b;
    b.controller.request(cmd::VideoSamples);
    b.controller.onTick();
    EXPECT_EQ(b.take(), kPoll);
    EXPECT_EQ(b.controller.requestState(cmd::VideoSamples), RequestState::Idle);
}

// "connected" only once the unit has answered; "disconnected" on the 11th tick
// without a frame; each return to "connected" runs the start-up reads again.
TEST(Scan, ConnectedOnlyOnceTheUnitAnswersAndSilenceDisconnectsOnThe11thTick) {
    ControllerBench b;
    const std::string title = text::windowTitle();
    b.tick();
    EXPECT_FALSE(b.controller.linkConnected());
    EXPECT_EQ(b.ui.titles.back(), title + " disconnected");
    b.take();
    b.status({0, 1, 0, 0, 0, 0});
    EXPECT_EQ(b.ui.titles.back(), title + " connected");
    for (int i = 1; i <= 10; ++i) {
        b.tick();
        b.take();
    }
    EXPECT_TRUE(b.controller.linkConnected());
    b.tick();  // the 11th tick without a frame
    EXPECT_FALSE(b.controller.linkConnected());
    EXPECT_EQ(b.ui.titles.back(), title + " disconnected");
    EXPECT_EQ(b.take(), kPoll);  // polling goes on

    b.replyFrame(encodeFrame(true, cmd::Status, {0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(b.controller.missedPollCount(), 0);
    EXPECT_EQ(b.ui.titles.back(), title + " connected");
}

TEST(Scan, EveryReturnOfTheUnitRunsTheStartUpReadsAndForgetsTheLastUnit) {
    ControllerBench b(true, true);
    b.reply(0xE5, {0x00, 0x01, 'E', 'U', 'R', 5, 0});
    ASSERT_TRUE(b.stores.bills.tableLoaded);
    EXPECT_EQ(b.controller.startupCountdown(), LinkController::kStartupReads);
    b.controller.setStartupCountdown(0);
    for (int i = 0; i <= LinkController::kLostAfterMissedPolls + 1; ++i) b.tick();
    ASSERT_FALSE(b.controller.linkConnected());
    b.take();
    b.status({0, 1, 0, 0, 0, 0});
    EXPECT_TRUE(b.controller.linkConnected());
    EXPECT_EQ(b.controller.startupCountdown(), LinkController::kStartupReads);
    EXPECT_FALSE(b.stores.bills.tableLoaded);  // the table is read again, from whoever answers now
}

TEST(Scan, ABusyBufferStillCountsTheTick) {
    ControllerBench b;
    ASSERT_TRUE(placeCommand(b.block, 0xD1));
    b.tick();
    EXPECT_EQ(b.controller.missedPollCount(), 1);
}

// In interrupt mode the unit speaks first; "poll now" is honoured while no poll
// of the host's is on its way, at most every kPollNowSpacingMs, and a quiet
// unit is polled now and then, so it cannot go unheard.
TEST(Scan, InterruptModeAnswersAPollRequestAtTheLinesPaceAndWakesAQuietUnit) {
    ControllerBench b;
    b.controller.setInterruptMode(true);
    b.tick();
    EXPECT_TRUE(b.waiting().empty());
    b.reply(cmd::PollNow);
    EXPECT_EQ(b.take(), kPoll);
    b.reply(cmd::PollNow);  // at once again: too soon
    EXPECT_TRUE(b.waiting().empty());
    b.now += LinkController::kPollNowSpacingMs;
    b.reply(cmd::PollNow);  // the poll has had no status yet
    EXPECT_TRUE(b.waiting().empty());
    b.status({0, 1, 0, 0, 0, 0});
    b.reply(cmd::PollNow);
    EXPECT_EQ(b.take(), kPoll);
    b.now += LinkController::kReplyMarginMs;  // that poll's status never came
    b.reply(cmd::PollNow);
    EXPECT_EQ(b.take(), kPoll);

    int quiet = 0;
    while (quiet < 10 && b.waiting().empty()) {
        b.tick();
        ++quiet;
    }
    EXPECT_EQ(quiet, LinkController::kWakeAfterTicks + 1);  // three quiet ticks since the status, then the poll
    EXPECT_EQ(b.take(), kPoll);
}

// Only a status reply, or the reply to something the host sent, shows that the
// unit answers: a unit that says nothing but "poll now", or sends data nobody
// asked for, is not "connected".
TEST(Scan, OnlyAStatusOrAnAskedReplyShowsTheUnitAnswers) {
    ControllerBench b;
    b.tick();
    b.take();
    b.reply(cmd::PollNow);
    b.replyFrame(encodeFrame(true, cmd::ReadRtc, {1, 2, 3, 4, 5, 6, 7}));  // nobody asked
    EXPECT_FALSE(b.controller.unitAnswered());
    EXPECT_FALSE(b.controller.linkConnected());
    b.controller.request(cmd::ReadSetup);
    b.tick();
    b.take();
    b.replyFrame(encodeFrame(true, cmd::ReadSetup, {0x00}));
    EXPECT_TRUE(b.controller.linkConnected());
    for (int i = 0; i <= LinkController::kLostAfterMissedPolls; ++i) {
        b.tick();
        b.take();
        b.reply(cmd::PollNow);  // every poll "answered" with a poll request
    }
    EXPECT_FALSE(b.controller.linkConnected());
    EXPECT_EQ(b.ui.titles.back(), text::windowTitle() + " disconnected");
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

// A frame the line damaged is never used, does not count as an answer, and
// the command it answered goes out again.
TEST(Scan, ADamagedOrBadFrameIsDroppedAndItsCommandSentAgain) {
    ControllerBench b;
    b.controller.request(cmd::ReadSetup);
    b.tick();
    b.take();
    Bytes f = encodeFrame(true, cmd::ReadSetup, {0x08});
    f[5] ^= 0x01;  // one flipped bit: the checksum no longer holds
    b.replyFrame(f);
    EXPECT_EQ(b.controller.linkCounters().badChecksums, 1u);
    EXPECT_FALSE(b.controller.interruptMode());
    EXPECT_FALSE(b.controller.unitAnswered());
    EXPECT_EQ(b.controller.requestState(cmd::ReadSetup), RequestState::Requested);
    b.tick();
    EXPECT_EQ(b.take()[4], cmd::ReadSetup);
    b.block.receiveDamaged = true;  // a byte with a parity error
    b.reply(cmd::ReadSetup, {0x08});
    b.block.receiveDamaged = false;
    EXPECT_EQ(b.controller.linkCounters().damagedFrames, 1u);
    EXPECT_FALSE(b.controller.interruptMode());
    b.tick();
    b.take();
    b.reply(cmd::ReadSetup, {0x08});
    EXPECT_TRUE(b.controller.interruptMode());
    EXPECT_EQ(b.controller.linkCounters().retried, 2u);

    // In interrupt mode a damaged frame that came unasked answered nothing: the
    // command sent waits on for its own reply.
    b.controller.request(cmd::ReadRtc);
    b.tick();
    b.take();
    b.status({0, 1, 0, 0, 0, 0});  // the unit's own report comes first
    b.block.receiveDamaged = true;
    b.replyFrame(encodeFrame(true, cmd::Status, {0, 1, 0, 0, 0, 0}));
    b.block.receiveDamaged = false;
    EXPECT_EQ(b.controller.linkCounters().damagedFrames, 2u);
    EXPECT_EQ(b.controller.requestState(cmd::ReadRtc), RequestState::AwaitingReply);
    EXPECT_EQ(b.controller.linkCounters().retried, 2u);
}

TEST(Scan, WhatTheLinkDroppedReadsAsOneLine) {
    struct Case {
        LinkCounters counters;
        const char* text;
    };
    LinkCounters mixed;
    mixed.badChecksums = 2;
    mixed.damagedFrames = 1;
    mixed.retried = 1;
    LinkCounters single;
    single.badChecksums = 1;
    single.truncatedFrames = 3;
    single.unasked = 1;
    single.givenUp = 2;
    const Case cases[] = {
        {LinkCounters{}, "0 frames dropped, 0 retried, 0 given up"},
        {mixed, "3 frames dropped (2 bad checksums, 1 damaged), 1 retried, 0 given up"},
        {single, "5 frames dropped (1 bad checksum, 3 cut short, 1 unasked), 0 retried, 2 given up"},
    };
    for (const Case& c : cases) EXPECT_EQ(linkCountersText(c.counters), c.text);

    ControllerBench b;  // the reader's counts are in the controller's line too
    b.block.badHeaders = 1;
    EXPECT_EQ(b.controller.linkSummary(), "1 frame dropped (1 bad header), 0 retried, 0 given up");
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
