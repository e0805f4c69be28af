#include "capture/protocol_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "capture/capture_line.h"
#include "protocol/frame.h"
#include "serial/reader_thread.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string hexCells(const Bytes& b) {
    std::string s;
    char cell[4];
    for (uint8_t x : b) {
        std::snprintf(cell, sizeof cell, "%02X ", x);
        s += cell;
    }
    return s;
}

struct Ended {
    CaptureEnd end;
    std::string path, reason;
};

class RecordingListener : public CaptureListener {
  public:
    void captureEnded(CaptureEnd end, const std::string& path, const std::string& reason) override {
        ends.push_back({end, path, reason});
    }
    std::vector<Ended> ends;
};

// The reader thread writing frames to the capture while the test plays the validator.
class CaptureFixture : public ::testing::Test {
  protected:
    CaptureFixture()
        : capture([this] { return now.load(); }), mailbox([this](Notification) { ++replies; }), reader(block, mailbox) {
        dir = fs::temp_directory_path() / ("halvek_capture_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = dir / "q7_data_file.TXT";
    }
    ~CaptureFixture() override {
        reader.stop();
        fs::remove_all(dir);
    }
    void SetUp() override {
        capture.setListener(&listener);
        block.frameTap.store(&capture);
        reader.start();
        ASSERT_TRUE(block.port.open(pty.slavePath(), Parity::Even, 9600)) << block.port.lastError();
    }

    // One exchange: the command leaves at `sentAt`, the reply completes at `repliedAt`.
    void exchange(const Bytes& command, const Bytes& reply, int64_t sentAt, int64_t repliedAt) {
        now = sentAt;
        const int before = replies.load();
        ASSERT_TRUE(block.placeFrame(command.data(), command.size()));
        ASSERT_EQ(pty.receive(command.size()).size(), command.size());
        // The reader captures the command after writing it: the far end may see its
        // bytes first. The transmit buffer is handed back once the capture has it.
        const auto written = std::chrono::steady_clock::now() + 3s;
        while (!block.transmitFree() && std::chrono::steady_clock::now() < written) std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(block.transmitFree());
        now = repliedAt;
        pty.send(reply);
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (replies.load() == before && std::chrono::steady_clock::now() < deadline)
            mailbox.serveUntil(std::chrono::steady_clock::now() + 20ms);
        ASSERT_GT(replies.load(), before);
    }

    fs::path dir, file;
    std::atomic<int64_t> now{1000};
    std::atomic<int> replies{0};
    RecordingListener listener;
    ProtocolCapture capture;  // outlives the reader thread
    test::PtyPair pty;
    CommBlock block;
    SyncMailbox mailbox;
    ReaderThread reader;
};

TEST_F(CaptureFixture, EachExchangeIsOneLineWithEveryByteOfBothFrames) {
    struct Case {
        const char* what;
        bool extended;
        Bytes command, reply;
        std::string commandHex;  // "" = from the bytes
    };
    Bytes longData(495);
    for (size_t i = 0; i < longData.size(); ++i) longData[i] = static_cast<uint8_t>(i * 7);
    const Case cases[] = {
        {"standard poll", false, {0x02, 0x04, 0xCC, 0x2E}, encodeFrame(false, 0xCC, Bytes(6, 0x00)), "02 04 CC 2E "},
        {"extended poll",
         true,
         {0x02, 0x00, 0x00, 0x07, 0xCC, 0xFF, 0x2B},
         encodeFrame(true, 0xCC, Bytes{1, 2, 3}),
         ""},
        {"reply of 502 bytes", true, encodeFrame(true, 0xEB, {}), encodeFrame(true, 0xEB, longData), ""},
    };
    for (const Case& c : cases) {
        block.extendedMode = c.extended;
        now = 1000;
        ASSERT_TRUE(capture.open(file.string())) << c.what;
        exchange(c.command, c.reply, 1012, 1350);
        capture.close();
        const std::string expected = "T( 00000012 ms)CMD[ " +
                                     (c.commandHex.empty() ? hexCells(c.command) : c.commandHex) +
                                     "]  :  T( 00000350 ms)MSG[ " + hexCells(c.reply) + "]\r\n";
        EXPECT_EQ(readFile(file), expected) << c.what;
        EXPECT_EQ(capture.written(), expected.size()) << c.what;
    }
    EXPECT_EQ(encodeFrame(true, 0xEB, longData).size(), 502u);
}

// A capture left running for a month: its milliseconds have passed 32 bits.
TEST(CaptureLine, TimesPast32BitsAreWrittenWhole) {
    const uint8_t poll[] = {0x02, 0x04, 0xCC, 0x2E};
    std::string line;
    capture::appendCaptureLine(line, poll, sizeof poll, true, 2'592'000'000);
    EXPECT_EQ(line, "T( 2592000000 ms)CMD[ 02 04 CC 2E ]  :  ");
}

TEST_F(CaptureFixture, OpeningEmptiesTheFileAndReopeningStartsAnew) {
    block.extendedMode = false;
    const Bytes poll = {0x02, 0x04, 0xCC, 0x2E};
    const Bytes reply = encodeFrame(false, 0xCC, Bytes(6, 0x00));
    {
        std::ofstream old(file, std::ios::binary);
        old << std::string(5000, 'x');  // longer than anything written below
    }
    ASSERT_TRUE(capture.open(file.string()));
    exchange(poll, reply, 1001, 1002);
    exchange(poll, reply, 1003, 1004);
    capture.close();
    EXPECT_EQ(readFile(file).find('x'), std::string::npos);
    const size_t twoLines = readFile(file).size();

    now = 1000;  // the clock starts again at the reopening
    ASSERT_TRUE(capture.open(file.string()));
    EXPECT_EQ(capture.written(), 0u);
    exchange(poll, reply, 1005, 1009);
    capture.close();
    const std::string content = readFile(file);
    EXPECT_EQ(content.size(), twoLines / 2);
    EXPECT_EQ(content.substr(0, 15), "T( 00000005 ms)");
}

TEST_F(CaptureFixture, TheFirstFrameAfterTheLimitClosesTheFileUnwritten) {
    block.extendedMode = false;
    const Bytes poll = {0x02, 0x04, 0xCC, 0x2E};
    const Bytes reply = encodeFrame(false, 0xCC, Bytes(6, 0x00));
    const size_t commandLine = std::string("T( 00000000 ms)CMD[ 02 04 CC 2E ]  :  ").size();
    capture.setLimit(commandLine + 1);  // the reply after the first command still goes in
    ASSERT_TRUE(capture.open(file.string()));
    exchange(poll, reply, 1000, 1000);
    EXPECT_TRUE(capture.active());
    exchange(poll, reply, 1000, 1000);
    EXPECT_FALSE(capture.active());
    exchange(poll, reply, 1000, 1000);  // nothing is written any more

    EXPECT_TRUE(listener.ends.empty()) << "told on the main thread's tick only";
    capture.onTick();  // the tick also waits for the writer to write what it holds
    const std::string content = readFile(file);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 1);
    EXPECT_EQ(content.size(), capture.written());
    ASSERT_EQ(listener.ends.size(), 1u);
    EXPECT_EQ(listener.ends[0].end, CaptureEnd::LimitReached);
    EXPECT_EQ(listener.ends[0].path, file.string());
    capture.onTick();
    EXPECT_EQ(listener.ends.size(), 1u);
}

TEST_F(CaptureFixture, AFailedWriteStopsTheCaptureAndSaysWhy) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ASSERT_TRUE(capture.open("/dev/full"));
    exchange(encodeFrame(true, 0xCC, {}), encodeFrame(true, 0xCC, Bytes(6, 0)), 1000, 1001);
    // The file is written off the reader's path: the failure shows at a tick.
    EXPECT_TRUE(test::eventually([&] {
        capture.onTick();
        return !listener.ends.empty();
    }));
    EXPECT_FALSE(capture.active());
    ASSERT_EQ(listener.ends.size(), 1u);
    EXPECT_EQ(listener.ends[0].end, CaptureEnd::WriteFailed);
    EXPECT_EQ(listener.ends[0].path, "/dev/full");
    EXPECT_EQ(listener.ends[0].reason, std::strerror(ENOSPC));
}

TEST(ProtocolCapture, AFileThatCannotBeOpenedIsRefusedWithTheReason) {
    ProtocolCapture capture;
    std::string reason;
    EXPECT_FALSE(capture.open("/nonexistent-dir/q7_data_file.TXT", &reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(capture.active());
    const Message m = capture::openFailedMessage("/nonexistent-dir/q7_data_file.TXT", reason);
    EXPECT_NE(m.text.find("/nonexistent-dir/q7_data_file.TXT"), std::string::npos);
    EXPECT_NE(m.detail.find(reason), std::string::npos);
}

TEST(ProtocolCapture, LimitEntriesStepBy51200000BytesAndSaySo) {
    ProtocolCapture capture;
    EXPECT_EQ(capture.limit(), 51'200'000u);
    EXPECT_EQ(capture.limitIndex(), 0);
    capture.setLimitIndex(4);
    EXPECT_EQ(capture.limit(), 256'000'000u);
    EXPECT_EQ(capture.limitIndex(), 4);
    capture.setLimitIndex(7);  // no such entry: unchanged
    EXPECT_EQ(capture.limit(), 256'000'000u);
    for (size_t i = 0; i < capture::kLimitLabels.size(); ++i) {
        const double megabytes = std::stod(capture::kLimitLabels[i]);
        EXPECT_DOUBLE_EQ(megabytes * 1e6, static_cast<double>(capture::limitForIndex(static_cast<int>(i))));
    }
}

}  // namespace
}  // namespace halvek
