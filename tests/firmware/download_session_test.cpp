#include "firmware/download_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "firmware/crc.h"
#include "firmware/firmware_texts.h"
#include "sim/loader/program_image.h"
#include "support/byte_file.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

struct FakePort : DownloadPort {
    bool open(int baud) override {
        opens.push_back(baud);
        isOpen = works;
        return works;
    }
    void close() override {
        isOpen = false;
        ++closes;
    }
    std::string lastError() const override { return {}; }
    std::string device() const override { return "/dev/ttyUSB9"; }
    std::vector<int> opens;
    int closes = 0;
    bool isOpen = false;
    bool works = true;
};

struct FakeLink : DownloadLink {
    uint8_t linkFlags() const override { return flags; }
    void requestDownload() override { ++downloadRequests; }
    void closeValidatorPort() override { ++portCloses; }
    void stopTimer() override { ++timerStops; }
    uint8_t flags = 0;
    int downloadRequests = 0, portCloses = 0, timerStops = 0;
};

struct Recorder : DownloadListener {
    void statusShown(DownloadStatus s, const std::string& instruction, const std::string& state) override {
        statuses.push_back(s);
        lastInstruction = instruction;
        lastState = state;
    }
    void blocksStarted() override {
        ++starts;
        if (block) stepAtStart = static_cast<DownloadStep>(block->downloadStep.load());
    }
    void messageShown(const std::string& title, const std::string& text) override {
        messages.push_back(title + ": " + text);
    }
    std::vector<DownloadStatus> statuses;
    std::vector<std::string> messages;
    std::string lastInstruction, lastState;
    const CommBlock* block = nullptr;
    int starts = 0;
    DownloadStep stepAtStart = DownloadStep::None;
};

struct Placed {
    DownloadStep step;
    Bytes bytes;
};

// The step machine against a scripted loader: the test plays the reader
// thread (takes each placed frame) and the loader (answers it).
class DownloadRig : public ::testing::Test {
  protected:
    // Answers a placed frame; nullopt: the loader stays silent.
    using Script = std::function<std::optional<Bytes>(const Placed&, int index)>;

    void SetUp() override {
        path_ = ::testing::TempDir() + "/halvek-dl-" + std::to_string(::getpid()) + ".L8F";
        useFile(sim::program::generate({0}, "REV").toBytes());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void useFile(const Bytes& bytes) {
        EXPECT_TRUE(test::writeByteFile(path_, bytes));
        FirmwareFile f;
        parseFirmwareFile(bytes, path_, f);
        file_ = f;
    }
    static std::optional<Bytes> good(const Placed& p, int) {
        if (p.step == DownloadStep::HeaderData || p.step == DownloadStep::BlockData) return Bytes(128, 0x55);
        return Bytes{0x23, 0x41};
    }
    // Takes what is placed and answers it, ticking through the pauses, until the
    // session stops placing for maxTicks ticks.
    void run(const Script& script, int maxTicks = 30) {
        int idle = 0;
        while (idle < maxTicks) {
            if (block.transmitFree()) {
                session.onTick();
                ++idle;
                continue;
            }
            idle = 0;
            Placed p{static_cast<DownloadStep>(block.downloadStep.load()),
                     Bytes(block.transmitBuffer.begin(), block.transmitBuffer.begin() + block.transmitLength.load())};
            block.transmitLength.store(0);
            placed.push_back(p);
            if (p.step == DownloadStep::RateChange) {
                session.onTransferDone();
                continue;
            }
            const auto reply = script(p, static_cast<int>(placed.size()) - 1);
            if (!reply) continue;
            std::copy(reply->begin(), reply->end(), block.receiveBuffer.begin());
            session.onTransferDone();
        }
    }
    std::vector<DownloadStep> steps() const {
        std::vector<DownloadStep> s;
        for (const Placed& p : placed) s.push_back(p.step);
        return s;
    }
    void start(uint8_t flags = 0) {
        link.flags = flags;
        session.open();
        session.chooseFile(path_);
        run(good, 3);  // Connect answered: DOWNLOAD enabled
        ASSERT_TRUE(session.connected());
        placed.clear();
        ASSERT_EQ(session.download(), DownloadSession::Start::Started);
    }

    CommBlock block;
    FakePort port;
    FakeLink link;
    Recorder rec;
    DownloadSession session{block, port, link, rec};
    std::vector<Placed> placed;
    std::string path_;
    FirmwareFile file_;
};

using S = DownloadStep;

TEST_F(DownloadRig, WholeSequenceWithTheRateSwitchAndItsFrames) {
    useFile(sim::program::generate({0}, "REV", true).toBytes());  // counted layout, 32 blocks
    start();
    run(good);
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
    std::vector<S> expected = {S::Connect, S::RateChange, S::EraseAll, S::HeaderSend, S::HeaderData, S::SendAck};
    for (int i = 0; i < 32; ++i) expected.insert(expected.end(), {S::SendBlock, S::BlockData, S::SendAck});
    expected.insert(expected.end(), {S::RateChange, S::Finish});
    EXPECT_EQ(steps(), expected);
    EXPECT_EQ(port.opens, (std::vector<int>{9600, 38400, 9600}));
    EXPECT_EQ(placed[0].bytes, (Bytes{0x23, 0x43, 0x08, 0xF7}));
    EXPECT_EQ(placed[1].bytes, (Bytes{0x23, 0x43, 0x83, 0x7C, 0x02}));
    EXPECT_EQ(placed[2].bytes, (Bytes{0x23, 0x43, 0x75, 0x8A}));
    EXPECT_EQ(placed[3].bytes, (Bytes{0x23, 0x43, 0x20, 0xDF}));
    EXPECT_EQ(placed[4].bytes, Bytes(file_.header.bytes.begin(), file_.header.bytes.end()));
    EXPECT_EQ(placed[5].bytes, (Bytes{0x23, 0x41}));
    const auto& r2 = file_.records[1].bytes;
    EXPECT_EQ(placed[9].bytes, (Bytes{0x23, 0x43, 0x0C, 0xF3, r2[1], r2[2], r2[3]}));
    EXPECT_EQ(placed[10].bytes, Bytes(r2.begin() + 4, r2.begin() + 132));
    EXPECT_EQ(placed[placed.size() - 2].bytes, (Bytes{0x23, 0x43, 0x83, 0x7C, 0x00}));
    EXPECT_EQ(placed.back().bytes, (Bytes{0x23, 0x43, 0x84, 0x7B}));
    EXPECT_EQ(rec.lastState, fwtext::kFinishedState);
}

TEST_F(DownloadRig, EmptyMapSendsTheHeaderThenGoesStraightToTheRateChange) {
    FirmwareFile f = sim::program::generate({}, "REV");
    useFile(f.toBytes());
    start();
    run(good);
    EXPECT_EQ(steps(), (std::vector<S>{S::Connect, S::RateChange, S::EraseAll, S::HeaderSend, S::HeaderData, S::SendAck,
                                       S::RateChange, S::Finish}));
}

TEST_F(DownloadRig, RefusedAcknowledgementAfterThe5thRecordResendsThe5th) {
    start();
    int acks = 0;
    run([&](const Placed& p, int i) -> std::optional<Bytes> {
        if (p.step == S::SendAck && ++acks == 6) return Bytes{0x23, 0x4E};
        return good(p, i);
    });
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
    EXPECT_EQ(session.refusals(), 1);
    // Connect, RateChange, EraseAll, HeaderSend, header, ack, then 3 frames a record.
    const size_t refused = 5 + 5 * 3;
    ASSERT_EQ(placed[refused].step, S::SendAck);
    const auto& r5 = file_.records[4].bytes;
    EXPECT_EQ(placed[refused + 1].bytes, (Bytes{0x23, 0x43, 0x0C, 0xF3, r5[1], r5[2], r5[3]}));
    EXPECT_EQ(placed[refused + 2].bytes, Bytes(r5.begin() + 4, r5.begin() + 132));
}

TEST_F(DownloadRig, RefusedAcknowledgementAfterTheHeaderResendsHeaderSend) {
    start();
    int acks = 0;
    run([&](const Placed& p, int i) -> std::optional<Bytes> {
        if (p.step == S::SendAck && ++acks == 1) return Bytes{0x23, 0x4E};
        return good(p, i);
    });
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
    ASSERT_EQ(placed[5].step, S::SendAck);
    EXPECT_EQ(placed[6].step, S::HeaderSend);
    EXPECT_EQ(placed[7].step, S::HeaderData);
}

TEST_F(DownloadRig, AckTimeOutAfterTheHeaderResendsTheHeaderNotABlock) {
    start();
    int acks = 0;
    run([&](const Placed& p, int i) -> std::optional<Bytes> {
        if (p.step == S::SendAck && ++acks == 1) return std::nullopt;
        return good(p, i);
    });
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
    EXPECT_EQ(session.timeouts(), 1);
    EXPECT_EQ(placed[6].step, S::HeaderSend);
}

TEST_F(DownloadRig, HundredRefusalsFailWithTheMessageOfTheirStep) {
    struct Case {
        S refused;
        const char* message;
    } cases[] = {{S::EraseAll, "Info: erase all cmd failed"},
                 {S::HeaderSend, "info: header send cmd failed"},
                 {S::SendBlock, "Info: send block cmd failed"}};
    for (const Case& c : cases) {
        SetUp();
        rec.messages.clear();
        placed.clear();
        DownloadSession s(block, port, link, rec);
        // A fresh session for each case: the counts run over a whole download.
        link.flags = 0;
        s.open();
        s.chooseFile(path_);
        block.transmitLength.store(0);
        std::copy_n(Bytes{0x23, 0x41}.begin(), 2, block.receiveBuffer.begin());
        s.onTransferDone();
        ASSERT_EQ(s.download(), DownloadSession::Start::Started);
        int placedFrames = 0;
        for (int guard = 0; guard < 5000 && s.status() != DownloadStatus::Failed; ++guard) {
            if (block.transmitFree()) {
                s.onTick();
                continue;
            }
            const auto step = static_cast<S>(block.downloadStep.load());
            block.transmitLength.store(0);
            ++placedFrames;
            const Bytes reply = step == c.refused                                 ? Bytes{0x23, 0x4E}
                                : (step == S::HeaderData || step == S::BlockData) ? Bytes(128, 0)
                                                                                  : Bytes{0x23, 0x41};
            std::copy(reply.begin(), reply.end(), block.receiveBuffer.begin());
            s.onTransferDone();
        }
        EXPECT_EQ(s.status(), DownloadStatus::Failed);
        EXPECT_EQ(s.refusals(), 100);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0], c.message);
        EXPECT_TRUE(block.transmitFree());  // nothing more is placed
        for (int i = 0; i < 40; ++i) s.onTick();
        EXPECT_TRUE(block.transmitFree());
    }
}

TEST_F(DownloadRig, TimeOutsCountFromThe27thTickAndAreNotResentAfterConnect) {
    start();
    ASSERT_FALSE(block.transmitFree());
    block.transmitLength.store(0);  // Connect went out; the loader says nothing
    for (int t = 1; t <= 26; ++t) session.onTick();
    EXPECT_EQ(session.timeouts(), 0);
    session.onTick();
    EXPECT_EQ(session.timeouts(), 1);
    for (int t = 1; t <= 26; ++t) session.onTick();
    EXPECT_EQ(session.timeouts(), 2);
    EXPECT_TRUE(block.transmitFree());  // nothing was sent again
    for (int t = 0; t < 26 * 98; ++t) session.onTick();
    EXPECT_EQ(session.timeouts(), 100);
    EXPECT_EQ(session.status(), DownloadStatus::Failed);
    EXPECT_FALSE(session.timerRunning());
    EXPECT_EQ(rec.messages.back(), "Info: Over 100 timeout errors");
}

TEST_F(DownloadRig, RateChangeIsNeverRetriedAndNeverTimesOut) {
    start();
    run(
        [](const Placed& p, int i) -> std::optional<Bytes> {
            if (p.step == S::EraseAll) return std::nullopt;  // stop there
            return good(p, i);
        },
        200);
    int rateChanges = 0;
    for (const Placed& p : placed) rateChanges += p.step == S::RateChange;
    EXPECT_EQ(rateChanges, 1);
    EXPECT_EQ(steps()[1], S::RateChange);
    EXPECT_EQ(steps()[2], S::EraseAll);
    EXPECT_GT(session.timeouts(), 0);  // counted for EraseAll, not re-sent
    EXPECT_EQ(placed.size(), 3u);
}

TEST_F(DownloadRig, HandoverFromAPollingControllerEndsWithLeave) {
    link.flags = 0x07;
    session.open();
    EXPECT_EQ(link.downloadRequests, 1);
    for (int t = 0; t < 34; ++t) session.onTick();
    EXPECT_EQ(link.portCloses, 0);
    session.onTick();  // the 35th
    EXPECT_EQ(link.portCloses, 1);
    EXPECT_EQ(link.timerStops, 1);
    EXPECT_EQ(block.receiveMode.load(), ReceiveMode::Download);
    // The countdown of 5 set in this tick is already decreased at its end.
    for (int t = 0; t < 3; ++t) session.onTick();
    EXPECT_TRUE(port.opens.empty());
    session.onTick();
    EXPECT_EQ(port.opens, std::vector<int>{9600});
    session.chooseFile(path_);
    run(good, 3);
    placed.clear();
    session.download();
    run(good);
    EXPECT_EQ(steps().back(), S::Leave);
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
}

// A device that hangs up (unplugged, its far end gone) is said at the next
// tick, wherever the transfer stands, not after a hundred time-outs.
TEST_F(DownloadRig, ALineHungUpIsSaidAtOnceAndTheTransferStops) {
    for (const S at : {S::EraseAll, S::BlockData, S::Finish}) {
        SetUp();
        rec.messages.clear();
        placed.clear();
        block.portLost = false;
        DownloadSession s(block, port, link, rec);
        link.flags = 0;
        s.open();
        s.chooseFile(path_);
        block.transmitLength.store(0);
        std::copy_n(Bytes{0x23, 0x41}.begin(), 2, block.receiveBuffer.begin());
        s.onTransferDone();
        ASSERT_EQ(s.download(), DownloadSession::Start::Started);
        // The loader answers until the frame of the step under test, then the line is gone.
        for (int guard = 0; guard < 5000 && !block.portLost; ++guard) {
            if (block.transmitFree()) {
                s.onTick();
                continue;
            }
            const auto step = static_cast<S>(block.downloadStep.load());
            block.transmitLength.store(0);
            if (step == at) {
                block.portLost = true;
                break;
            }
            if (step == S::RateChange) {
                s.onTransferDone();
                continue;
            }
            const Bytes reply = (step == S::HeaderData || step == S::BlockData) ? Bytes(128, 0) : Bytes{0x23, 0x41};
            std::copy(reply.begin(), reply.end(), block.receiveBuffer.begin());
            s.onTransferDone();
        }
        ASSERT_TRUE(block.portLost.load());
        s.onTick();
        EXPECT_EQ(s.status(), DownloadStatus::Failed) << static_cast<int>(at);
        EXPECT_FALSE(s.timerRunning());
        EXPECT_FALSE(port.isOpen);
        EXPECT_EQ(s.timeouts(), 0);
        EXPECT_EQ(rec.messages, (std::vector<std::string>{"Info: Line lost: /dev/ttyUSB9 hung up or went away"}));
        EXPECT_EQ(s.failure(), "Line lost: /dev/ttyUSB9 hung up or went away");
    }
}

TEST_F(DownloadRig, ABadFileIsRefusedBeforeAnythingIsSent) {
    Bytes bytes = file_.toBytes();
    bytes[128 + 2 * 133 + 132] ^= 0xFF;
    useFile(bytes);
    link.flags = 0;
    session.open();
    session.chooseFile(path_);
    run(good, 3);
    placed.clear();
    EXPECT_EQ(session.download(), DownloadSession::Start::Refused);
    EXPECT_TRUE(block.transmitFree());
    EXPECT_EQ(session.status(), DownloadStatus::Failed);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_NE(rec.messages[0].find(path_ + ": record 3: record check"), std::string::npos) << rec.messages[0];
    EXPECT_FALSE(port.isOpen);
}

// The rate is counted from the first block: the pauses of the rate change,
// the erase and the header are behind by then.
TEST_F(DownloadRig, BlocksStartOnceWhenTheHeaderIsAcknowledged) {
    rec.block = &block;
    start();
    EXPECT_EQ(rec.starts, 0);
    run(good);
    EXPECT_EQ(session.status(), DownloadStatus::Finished);
    EXPECT_EQ(rec.starts, 1);
    EXPECT_EQ(rec.stepAtStart, S::SendAck);  // the header's acknowledgement, before the first SendBlock
}

TEST_F(DownloadRig, TheReadBackSaysVerifiedDifferentOrNotVerifiedAndWhatIsLeftToDo) {
    // Lead bytes the loader is never sent: the unit makes its own.
    Bytes bytes = file_.toBytes();
    for (size_t r = 0; r < file_.records.size(); ++r) bytes[128 + r * 133] = 0x7E;
    useFile(bytes);
    FirmwareFile unit = file_;
    for (FirmwareRecord& r : unit.records) r.bytes[0] = 0;
    const uint32_t unitCrc = crc32(0, unit.toBytes());
    link.flags = 0x07;  // opened while the unit answered: handed over by the controller
    session.open();
    session.chooseFile(path_);
    run(good, 45);
    ASSERT_TRUE(session.connected());
    ASSERT_EQ(session.download(), DownloadSession::Start::Started);
    run(good);
    ASSERT_EQ(session.status(), DownloadStatus::Finished);
    struct Case {
        std::optional<uint32_t> crc;
        bool connected;
        const char* state;
        const char* instruction;
    } cases[] = {
        {unitCrc, true, fwtext::kVerifiedState, fwtext::kFinishedResumedInstruction},
        {unitCrc ^ 1, true, fwtext::kDifferentState, fwtext::kFinishedResumedInstruction},
        {std::nullopt, true, fwtext::kNotVerifiedState, fwtext::kFinishedResumedInstruction},
        {std::nullopt, false, fwtext::kNotVerifiedState, fwtext::kFinishedConnectInstruction},
    };
    for (const Case& c : cases) {
        session.showVerification(c.crc, c.connected);
        EXPECT_EQ(rec.lastState, c.state);
        EXPECT_EQ(rec.lastInstruction, c.instruction) << c.state;
    }
}

}  // namespace
}  // namespace halvek
