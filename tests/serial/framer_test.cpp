#include <gtest/gtest.h>

#include <vector>

#include "protocol/frame.h"
#include "serial/framers.h"
#include "serial/line_unescaper.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

// Takes what the framer hands over, as the owner would during the notification.
struct Taken : NotificationSink {
    explicit Taken(CommBlock& b) : block(b) {}
    bool deliver(Notification) override {
        const size_t n = frameLength(block.receiveBuffer.data(), block.receiveExtended.load());
        frames.emplace_back(block.receiveBuffer.begin(), block.receiveBuffer.begin() + static_cast<long>(n));
        damaged.push_back(block.receiveDamaged.load());
        extended.push_back(block.receiveExtended.load());
        awaited.push_back(block.receiveAwaited.load());
        if (switchLayoutAfterEach) block.extendedMode = !block.extendedMode.load();
        return true;
    }
    void cancel() override {}
    CommBlock& block;
    std::vector<Bytes> frames;
    std::vector<bool> damaged;
    std::vector<bool> extended;
    std::vector<bool> awaited;
    bool switchLayoutAfterEach = false;  // as a reply that changes the link's mode does
};

void feed(ProtocolFramer& f, Taken& t, const Bytes& bytes, const std::vector<size_t>& damagedAt = {}) {
    std::unique_ptr<bool[]> damaged(new bool[bytes.size() + 1]());
    for (size_t i : damagedAt) damaged[i] = true;
    f.feed(bytes.data(), damaged.get(), bytes.size(), t, 0);
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The framer finds its way back by itself after any damage, in interrupt mode
// too, where no command written resets it.
TEST(ProtocolFramer, ResynchronisesAfterNoiseBadHeadersAndGaps) {
    const Bytes status = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    const Bytes rtc = encodeFrame(true, 0xD1, {1, 2, 3});
    // The checksum covers the reserved byte: 0x5A more there is 0x5A less in the checksum.
    Bytes reserved = rtc;
    reserved[1] = 0x5A;
    const unsigned sum = (static_cast<unsigned>(rtc[rtc.size() - 2]) << 8 | rtc.back()) - 0x5Au;
    reserved[reserved.size() - 2] = static_cast<uint8_t>(sum >> 8);
    reserved.back() = static_cast<uint8_t>(sum);
    ASSERT_TRUE(checksumValid(reserved.data(), reserved.size(), true));
    struct Case {
        const char* what;
        Bytes bytes;
        bool gapAfterFirst;
        Bytes more;
        std::vector<Bytes> frames;
    };
    const Case cases[] = {
        {"noise before the start byte", cat({{0x55, 0xA5, 0x00}, status}), false, {}, {status}},
        {"a reserved byte other than 0x00", reserved, false, {}, {reserved}},
        {"a length the buffer cannot hold", cat({{0x02, 0x00, 0x09, 0x00}, rtc}), false, {}, {rtc}},
        {"a length shorter than any frame", cat({{0x02, 0x00, 0x00, 0x03}, status}), false, {}, {status}},
        {"a frame cut short, then silence", Bytes(status.begin(), status.begin() + 6), true, rtc, {rtc}},
        {"two frames in one read", cat({status, rtc}), false, {}, {status, rtc}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommBlock block;
        block.interruptMode = true;
        ProtocolFramer framer(block);
        Taken taken(block);
        feed(framer, taken, c.bytes);
        if (c.gapAfterFirst) framer.onGap();
        if (!c.more.empty()) feed(framer, taken, c.more);
        EXPECT_EQ(taken.frames, c.frames);
        EXPECT_FALSE(framer.midFrame());
    }
}

TEST(ProtocolFramer, MarksAFrameHoldingADamagedByteAndCountsWhatItDropped) {
    CommBlock block;
    block.interruptMode = true;
    ProtocolFramer framer(block);
    Taken taken(block);
    const Bytes status = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    feed(framer, taken, status, {6});
    feed(framer, taken, status);
    EXPECT_EQ(taken.damaged, (std::vector<bool>{true, false}));
    feed(framer, taken, Bytes(status.begin(), status.begin() + 5));
    framer.onGap();
    EXPECT_EQ(block.truncatedFrames.load(), 1u);
}

// A unit that sends "poll now" back to back: one is handed over every
// kPollNowGapMs, whatever else comes between them; a damaged one always. In
// polling mode too, where it answers no frame written.
TEST(ProtocolFramer, MergesPollNowsThatFollowTooClosely) {
    const Bytes pollNow = encodeFrame(true, 0x55, {});
    const Bytes status = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    CommBlock block;
    block.interruptMode = true;
    ProtocolFramer framer(block);
    Taken taken(block);
    // The capture still gets every frame that came: it is the evidence of a flood.
    struct Tap : FrameTap {
        size_t frames = 0;
        void captureFrame(const uint8_t*, size_t, bool) override { ++frames; }
    } tap;
    block.frameTap.store(&tap);
    const bool none[64] = {};
    auto at = [&](const Bytes& b, int64_t ms) { framer.feed(b.data(), none, b.size(), taken, ms); };
    at(cat({pollNow, pollNow, status, pollNow}), 1000);
    at(pollNow, 1000 + ProtocolFramer::kPollNowGapMs - 1);
    EXPECT_EQ(taken.frames, (std::vector<Bytes>{pollNow, status}));
    EXPECT_EQ(block.pollNowsMerged.load(), 3u);
    EXPECT_EQ(tap.frames, 5u);
    block.frameTap.store(nullptr);
    at(pollNow, 1000 + ProtocolFramer::kPollNowGapMs);
    feed(framer, taken, pollNow, {4});
    EXPECT_EQ(taken.frames.size(), 4u);
    EXPECT_EQ(taken.damaged.back(), true);

    block.interruptMode = false;
    block.awaitingReply = true;
    at(pollNow, 1000 + ProtocolFramer::kPollNowGapMs);
    EXPECT_EQ(taken.frames.size(), 4u);
    EXPECT_TRUE(block.awaitingReply.load());
}

// In polling mode the reply is the first frame after the one written that can
// answer it: the frame itself come back on an echoing line, a "poll now" or a
// status frame without its status bytes cannot, and the reply behind them is
// still taken. A reply cut off by the next frame written is counted.
TEST(ProtocolFramer, TakesTheReplyBehindWhatCannotBeOne) {
    const Bytes poll = encodeFrame(true, 0xCC, {});
    const Bytes status = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    const Bytes pollNow = encodeFrame(true, 0x55, {});
    const Bytes shortStatus = encodeFrame(true, 0xCC, {0x10, 0x01});
    const Bytes shortPoll = encodeFrame(false, 0xCC, {});
    const Bytes shortStatusReply = encodeFrame(false, 0xCC, {0, 1, 0});
    const Bytes readStats = encodeFrame(true, 0xDD, {});
    const Bytes stats = encodeFrame(true, 0xDD, {1, 2, 3});
    struct Case {
        const char* what;
        Bytes written;
        Bytes before;
        Bytes reply;
        uint32_t echoes;
        std::vector<Bytes> handed;
        std::vector<bool> awaited;
    };
    const Case cases[] = {
        {"the poll echoed", poll, poll, status, 1, {status}, {true}},
        {"the short poll echoed", shortPoll, shortPoll, shortStatusReply, 1, {shortStatusReply}, {true}},
        {"a poll now", poll, pollNow, status, 0, {pollNow, status}, {false, true}},
        {"a status without its bytes", poll, shortStatus, status, 0, {shortStatus, status}, {false, true}},
        // Only the frame written is its echo: an older one is a frame like any.
        {"an echo of another frame", readStats, poll, stats, 0, {poll, stats}, {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommBlock block;
        ProtocolFramer framer(block);
        Taken taken(block);
        block.extendedMode = c.written.size() != shortPoll.size();
        framer.onCommandWritten(c.written.data(), c.written.size());
        block.awaitingReply = true;
        feed(framer, taken, cat({c.before, c.reply}));
        EXPECT_EQ(taken.frames, c.handed);
        EXPECT_EQ(taken.awaited, c.awaited);
        EXPECT_EQ(block.echoes.load(), c.echoes);
        EXPECT_FALSE(block.awaitingReply.load());
    }

    CommBlock block;
    ProtocolFramer framer(block);
    Taken taken(block);
    block.awaitingReply = true;
    feed(framer, taken, Bytes(status.begin(), status.begin() + 6));
    framer.onCommandWritten(poll.data(), poll.size());
    EXPECT_EQ(block.truncatedFrames.load(), 1u);
}

// Each frame is read in the layout it was collected in, also when the frame
// before it in the same read changed the link's mode.
TEST(ProtocolFramer, AFrameKeepsTheLayoutItArrivedIn) {
    CommBlock block;
    block.interruptMode = true;
    block.extendedMode = false;
    ProtocolFramer framer(block);
    Taken taken(block);
    taken.switchLayoutAfterEach = true;
    const Bytes shortSetup = encodeFrame(false, 0xCB, {0x08});
    const Bytes longStatus = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    feed(framer, taken, cat({shortSetup, longStatus}));
    EXPECT_EQ(taken.frames, (std::vector<Bytes>{shortSetup, longStatus}));
    EXPECT_EQ(taken.extended, (std::vector<bool>{false, true}));
}

// The framers share the receive buffer: a frame half in when the link hands
// the line to a firmware transfer is not finished from what the transfer left.
TEST(ReceiveFramers, AModeChangeDropsTheFrameHalfIn) {
    CommBlock block;
    block.interruptMode = true;
    ReceiveFramers framers(block);
    Taken taken(block);
    const Bytes status = encodeFrame(true, 0xCC, {0, 1, 0, 0, 0, 0});
    const Bytes rtc = encodeFrame(true, 0xD1, {1, 2, 3});
    const bool none[16] = {};
    framers.feed(status.data(), none, 5, taken, 0);
    EXPECT_TRUE(framers.protocolMidFrame());

    block.receiveMode = ReceiveMode::Download;
    EXPECT_FALSE(framers.protocolMidFrame());
    block.downloadReplyLength = 0;
    const Bytes loader = {0x06, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
    framers.feed(loader.data(), none, loader.size(), taken, 0);

    block.receiveMode = ReceiveMode::Protocol;
    framers.feed(status.data() + 5, none, status.size() - 5, taken, 0);
    framers.feed(rtc.data(), none, rtc.size(), taken, 0);
    EXPECT_EQ(taken.frames, (std::vector<Bytes>{rtc}));
}

TEST(LineUnescaper, UndoesTheDriversMarksAcrossReads) {
    struct Case {
        std::vector<Bytes> reads;
        Bytes bytes;
        std::vector<bool> damaged;
    };
    const Case cases[] = {
        {{{0x02, 0xFF, 0xFF, 0x03}}, {0x02, 0xFF, 0x03}, {false, false, false}},       // a real 0xFF
        {{{0x02, 0xFF, 0x00, 0x41, 0x03}}, {0x02, 0x41, 0x03}, {false, true, false}},  // 0x41 with a parity error
        {{{0x02, 0xFF}, {0x00}, {0x41}}, {0x02, 0x41}, {false, true}},                 // the mark split over reads
        {{{0xFF}, {0xFF, 0x07}}, {0xFF, 0x07}, {false, false}},
    };
    for (const Case& c : cases) {
        LineUnescaper u;
        Bytes got;
        std::vector<bool> damaged;
        for (const Bytes& r : c.reads) {
            uint8_t out[16];
            bool d[16];
            const size_t n = u.unescape(r.data(), r.size(), out, d);
            got.insert(got.end(), out, out + n);
            damaged.insert(damaged.end(), d, d + n);
        }
        EXPECT_EQ(got, c.bytes);
        EXPECT_EQ(damaged, c.damaged);
    }
}

}  // namespace
}  // namespace halvek
