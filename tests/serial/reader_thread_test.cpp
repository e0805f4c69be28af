#include "serial/reader_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <mutex>
#include <thread>

#include "protocol/frame.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
using test::PtyPair;

const Bytes kPollExt = {0x02, 0x00, 0x00, 0x07, 0xCC, 0xFF, 0x2B};

// What the main thread saw at each notification, copied while the reader waited.
struct Seen {
    Notification what;
    Bytes frame;
    std::vector<uint16_t> capture;
};

class ReaderFixture : public ::testing::Test {
  protected:
    ReaderFixture() : mailbox([this](Notification n) { onNotification(n); }), reader(block, mailbox) {}

    void SetUp() override {
        reader.start();
        ASSERT_TRUE(block.port.open(pty.slavePath(), Parity::Even, 9600)) << block.port.lastError();
    }
    void TearDown() override { reader.stop(); }

    void onNotification(Notification n) {
        Seen s{n, {}, {}};
        if (n == Notification::ReplyReady) {
            const size_t len = frameLength(block.receiveBuffer.data(), block.extendedMode);
            s.frame.assign(block.receiveBuffer.begin(), block.receiveBuffer.begin() + std::min<size_t>(len, 2048));
        } else if (n == Notification::TransferDone) {
            s.frame.assign(block.receiveBuffer.begin(), block.receiveBuffer.begin() + 4);
        }
        for (size_t i = 0; i < CaptureList::kEntries; ++i) s.capture.push_back(block.captureList.at(i));
        seen.push_back(std::move(s));
        if (onSeen) onSeen();
    }

    // Serves the mailbox, as the owner's loop would, until count notifications arrived.
    bool serve(size_t count, std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (seen.size() < count && std::chrono::steady_clock::now() < deadline)
            mailbox.serveUntil(std::min(deadline, std::chrono::steady_clock::now() + 20ms));
        return seen.size() >= count;
    }

    void place(const Bytes& frame) { ASSERT_TRUE(block.placeFrame(frame.data(), frame.size())); }

    PtyPair pty;
    CommBlock block;
    SyncMailbox mailbox;
    ReaderThread reader;
    std::vector<Seen> seen;
    std::function<void()> onSeen;
};

TEST_F(ReaderFixture, PollingCollectsOnlyTheAwaitedReply) {
    pty.send({0x02, 0x00, 0x00, 0x07, 0x99, 0xFF, 0x60});  // nobody asked for this
    std::this_thread::sleep_for(50ms);
    place(kPollExt);
    EXPECT_EQ(pty.receive(7), kPollExt);
    const Bytes reply = encodeFrame(true, 0xCC, Bytes{0x00, 0x01, 0x00, 0x03, 0x00, 0x00});
    pty.send(reply);
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(seen[0].what, Notification::ReplyReady);
    EXPECT_EQ(seen[0].frame, reply);
    EXPECT_FALSE(block.awaitingReply.load());

    // The capture list holds the command, then the reply, then empty entries.
    std::vector<uint16_t> expected(kPollExt.begin(), kPollExt.end());
    expected.insert(expected.end(), reply.begin(), reply.end());
    expected.resize(CaptureList::kEntries, CaptureList::kEmpty);
    EXPECT_EQ(seen[0].capture, expected);
}

TEST_F(ReaderFixture, InterruptModeCollectsUnaskedFrames) {
    block.interruptMode = true;
    const Bytes frame = encodeFrame(true, 0x55, {});
    pty.send(frame);
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(seen[0].frame, frame);
}

TEST_F(ReaderFixture, StandardModeFramesByTheOneByteLength) {
    block.extendedMode = false;
    place({0x02, 0x04, 0xCC, 0x2E});
    EXPECT_EQ(pty.receive(4).size(), 4u);
    const Bytes reply = encodeFrame(false, 0xCC, Bytes{0x00, 0x01, 0x00});
    // Delivered in pieces, as a slow line does.
    pty.send(Bytes(reply.begin(), reply.begin() + 2));
    std::this_thread::sleep_for(20ms);
    pty.send(Bytes(reply.begin() + 2, reply.end()));
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(seen[0].frame, reply);
}

TEST_F(ReaderFixture, ALengthTheBufferCannotHoldIsDroppedUntilTheNextCommand) {
    struct Case {
        const char* what;
        Bytes header;
    };
    const Case cases[] = {
        {"announces 2304 bytes", {0x02, 0x00, 0x09, 0x00, 0xE7, 0x00, 0x00}},
        {"announces 3 bytes", {0x02, 0x00, 0x00, 0x03, 0xE7, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        seen.clear();
        place(kPollExt);
        pty.receive(7);
        pty.send(c.header);
        Bytes flood;  // more than the buffer, of headers no frame can have: must not be written anywhere
        for (int i = 0; i < 750; ++i) flood.insert(flood.end(), {0x02, 0x00, 0x09, 0x00});
        pty.send(flood);
        std::this_thread::sleep_for(50ms);
        mailbox.serveUntil(std::chrono::steady_clock::now() + 50ms);
        EXPECT_TRUE(seen.empty()) << c.what;

        place(kPollExt);
        pty.receive(7);
        const Bytes reply = encodeFrame(true, 0xCC, Bytes(6, 0x11));
        pty.send(reply);
        ASSERT_TRUE(serve(1)) << c.what;
        EXPECT_EQ(seen[0].frame, reply) << c.what;
    }
}

TEST_F(ReaderFixture, AnUnfinishedReplyDoesNotFrameTheNextOne) {
    place(kPollExt);
    pty.receive(7);
    pty.send({0x02, 0x00, 0x00, 0x20, 0xE1, 0x01});  // stops short of its 32 bytes
    std::this_thread::sleep_for(30ms);
    place(kPollExt);
    pty.receive(7);
    const Bytes reply = encodeFrame(true, 0xCC, Bytes(6, 0x00));
    pty.send(reply);
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(seen[0].frame, reply);
}

TEST_F(ReaderFixture, AFramePlacedWhileHandlingGoesOutNext) {
    onSeen = [this] { place({0x02, 0x00, 0x00, 0x07, 0xD1, 0xFF, 0x26}); };
    place(kPollExt);
    pty.receive(7);
    pty.send(encodeFrame(true, 0xCC, Bytes(6, 0x00)));
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(pty.receive(7), (Bytes{0x02, 0x00, 0x00, 0x07, 0xD1, 0xFF, 0x26}));
}

// One reply a frame: bytes behind it are dropped and counted, never a second reply.
TEST_F(ReaderFixture, DownloadRepliesCompleteByLengthAndStep30AtOnce) {
    block.receiveMode = ReceiveMode::Download;
    block.downloadReplyLength = 2;
    place({'#', 'C', 0x01});
    EXPECT_EQ(pty.receive(3).size(), 3u);
    pty.send({0x06, 0x43, 0x0D, 0x0A, 0x23});
    ASSERT_TRUE(serve(1));
    EXPECT_EQ(seen[0].what, Notification::TransferDone);
    EXPECT_EQ(seen[0].frame[0], 0x06);
    EXPECT_EQ(seen[0].frame[1], 0x43);
    EXPECT_TRUE(test::eventually([&] { return block.downloadStrayBytes.load() == 3; }));
    EXPECT_EQ(block.downloadReplyLength.load(), 2);  // still the length of the next reply

    block.downloadStep = 30;
    place({0x55, 0xAA});
    ASSERT_TRUE(serve(2));  // no reply needed
    EXPECT_EQ(seen[1].what, Notification::TransferDone);
}

TEST_F(ReaderFixture, UploadFirstFrameThenAlternatingBlocks) {
    for (bool extended : {true, false}) {
        seen.clear();
        block.extendedMode = extended;
        block.receiveMode = ReceiveMode::Upload;
        place(encodeFrame(extended, 0x60, {}));
        pty.receive(extended ? 7 : 4);
        const size_t first = extended ? 135 : 132;
        EXPECT_TRUE(test::eventually([&] { return block.upload.remainingBlocks.load() == 0x0FFFFFFFu; }));
        Bytes stream(first, 0xF0);
        stream.insert(stream.end(), 133, 0xA1);
        stream.insert(stream.end(), 133, 0xB2);
        stream.insert(stream.end(), 133, 0xA3);
        std::vector<std::pair<uint8_t, bool>> blocks;  // first byte and toggle, per notification
        onSeen = [&] {
            blocks.push_back({block.upload.firstFrame[0], block.upload.firstFrameDone.load()});
            blocks.back().first = blocks.size() == 1                ? block.upload.firstFrame[first - 1]
                                  : block.upload.blockToggle.load() ? block.upload.blockA[132]
                                                                    : block.upload.blockB[132];
        };
        pty.send(stream);
        ASSERT_TRUE(serve(4)) << extended;
        onSeen = nullptr;
        ASSERT_EQ(blocks.size(), 4u);
        EXPECT_EQ(blocks[0].first, 0xF0);
        EXPECT_EQ(blocks[1].first, 0xA1);  // A
        EXPECT_EQ(blocks[2].first, 0xB2);  // B
        EXPECT_EQ(blocks[3].first, 0xA3);  // A again
        block.receiveMode = ReceiveMode::Protocol;
    }
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(ReaderFixture, ALostDeviceIsMarkedWithoutSpinningAndAReopenWorks) {
    place(kPollExt);
    pty.receive(7);
    pty.closeMaster();
    ASSERT_TRUE(test::eventually([&] { return block.portLost.load(); }));
    const double before = cpuSeconds();
    std::this_thread::sleep_for(300ms);
    // A reader that took the hang-up for "no data yet" would burn the whole 300 ms.
    EXPECT_LT(cpuSeconds() - before, 0.15);
    // A frame placed on the lost line is dropped so that the controller can count it.
    place(kPollExt);
    EXPECT_TRUE(test::eventually([&] { return block.transmitFree(); }));

    PtyPair again;
    block.port.close();
    block.portLost = false;
    ASSERT_TRUE(block.port.open(again.slavePath(), Parity::Even, 9600));
    place(kPollExt);
    EXPECT_EQ(again.receive(7), kPollExt);
}

TEST(ReaderThread, StopsWhileBlockedDelivering) {
    PtyPair pty;
    CommBlock block;
    SyncMailbox mailbox([](Notification) {});  // nobody serves it
    ReaderThread reader(block, mailbox);
    reader.start();
    block.interruptMode = true;
    ASSERT_TRUE(block.port.open(pty.slavePath(), Parity::Even, 9600));
    pty.send(encodeFrame(true, 0x55, {}));
    std::this_thread::sleep_for(50ms);
    reader.stop();  // must not hang
    EXPECT_FALSE(reader.running());
}

}  // namespace
}  // namespace halvek

namespace halvek {
namespace {

TEST(SyncMailbox, AHandlerThatServesAgainDoesNotSeeItsNotificationTwice) {
    int handled = 0;
    SyncMailbox* self = nullptr;
    SyncMailbox mailbox([&](Notification) {
        ++handled;
        EXPECT_FALSE(self->serveOne());  // a nested event loop inside the handler
    });
    self = &mailbox;
    std::thread reader([&] { EXPECT_TRUE(mailbox.deliver(Notification::ReplyReady)); });
    while (handled == 0) mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    reader.join();
    EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace halvek
