#include "firmware/upload_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "firmware/firmware_texts.h"
#include "sim/loader/program_image.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

struct FakeLink : UploadLink {
    void requestUpload() override { ++requests; }
    void setUploadIdle() override { ++idles; }
    void stopTimer() override { timer = false; }
    void startTimer() override { timer = true; }
    int requests = 0, idles = 0;
    bool timer = true;
};

struct Recorder : UploadListener {
    void statusShown(const std::string& t) override { status = t; }
    void packetLineShown(const std::string& t) override { packetLine = t; }
    void finished(const std::string&, uint32_t c) override { crc = c; }
    std::string status, packetLine;
    uint32_t crc = 0;
};

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The upload session fed as the reader thread feeds it: the header frame, then
// packets alternately in buffers A and B.
class UploadRig : public ::testing::Test {
  protected:
    void SetUp() override {
        char d[] = "/tmp/halvek-up-XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        dir_ = d;
        target_ = dir_ + "/FW_TEST.L8F";
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    // Feeds the stream; stops after `packets` packets (all when negative).
    void feed(const FirmwareFile& program, bool extended, uint32_t corrupt, int packets = -1) {
        const auto stream = sim::program::uploadStream(program, extended, corrupt);
        block.upload.firstFrameLength.store(static_cast<uint32_t>(stream[0].size()));
        std::copy(stream[0].begin(), stream[0].end(), block.upload.firstFrame.begin());
        session.onBlockReady();
        bool toB = false;
        for (size_t i = 1; i < stream.size() && (packets < 0 || static_cast<int>(i) <= packets); ++i) {
            auto& buf = toB ? block.upload.blockB : block.upload.blockA;
            std::copy(stream[i].begin(), stream[i].end(), buf.begin());
            toB = !toB;
            session.onBlockReady();
            if (!session.active()) return;
        }
    }
    size_t filesInDir() const {
        size_t n = 0;
        FILE* p = popen(("ls -A " + dir_ + " | wc -l").c_str(), "r");
        if (p && fscanf(p, "%zu", &n) != 1) n = 99;
        if (p) pclose(p);
        return n;
    }

    CommBlock block;
    FakeLink link;
    Recorder rec;
    UploadSession session{block, link, rec};
    std::string dir_, target_;
};

TEST_F(UploadRig, BothFrameLayoutsGiveTheUnitsProgramByteForByte) {
    const FirmwareFile program = sim::program::generate({0, 1, 2}, "L8VQA099");
    for (bool extended : {false, true}) {
        ASSERT_TRUE(session.start(target_));
        EXPECT_EQ(block.receiveMode.load(), ReceiveMode::Upload);
        feed(program, extended, 0);
        EXPECT_TRUE(session.completed());
        EXPECT_EQ(fileBytes(target_), program.toBytes());
        EXPECT_EQ(rec.crc, program.crc32());
        EXPECT_EQ(rec.packetLine, fwtext::kAllPackets);
        EXPECT_EQ(block.receiveMode.load(), ReceiveMode::Protocol);
        EXPECT_TRUE(link.timer);
        EXPECT_EQ(filesInDir(), 1u);  // no temporary file left
    }
}

TEST_F(UploadRig, ACorruptPacketLeavesNoTargetOrTheOldOneUnchanged) {
    const FirmwareFile program = sim::program::generate({0, 1}, "REV");
    for (bool existed : {false, true}) {
        if (existed) std::ofstream(target_) << "old contents";
        ASSERT_TRUE(session.start(target_));
        feed(program, true, 7);
        EXPECT_FALSE(session.completed());
        EXPECT_FALSE(session.active());
        EXPECT_EQ(session.packetsReceived(), 6u);
        EXPECT_EQ(rec.status, fwtext::kChecksumError);
        EXPECT_EQ(rec.packetLine, existed ? "FW_TEST.L8F not changed" : "FW_TEST.L8F not created");
        EXPECT_NE(session.failure().find("packet 7 of 64"), std::string::npos);
        struct stat st {};
        if (existed) {
            const Bytes old = fileBytes(target_);
            EXPECT_EQ(std::string(old.begin(), old.end()), "old contents");
        } else {
            EXPECT_NE(::stat(target_.c_str(), &st), 0);
        }
        EXPECT_EQ(filesInDir(), existed ? 1u : 0u);
        EXPECT_EQ(block.receiveMode.load(), ReceiveMode::Protocol);
    }
}

TEST_F(UploadRig, AUnitThatStopsSendingIsGivenUpAfterFiveSeconds) {
    const FirmwareFile program = sim::program::generate({0}, "REV");
    ASSERT_TRUE(session.start(target_));
    feed(program, true, 0, 10);
    ASSERT_TRUE(session.active());
    for (int t = 0; t < UploadSession::kSilenceTicks - 1; ++t) session.onTick();
    EXPECT_TRUE(session.active());
    session.onTick();
    EXPECT_FALSE(session.active());
    EXPECT_EQ(rec.status, fwtext::kUploadSilent);
    EXPECT_NE(session.failure().find("after packet 10 of 32"), std::string::npos);
    EXPECT_EQ(filesInDir(), 0u);
}

TEST_F(UploadRig, AnEmptyNameGivesTheButtonsBack) {
    struct Buttons : Recorder {
        void buttonsEnabled(bool e) override { enabled = e; }
        bool enabled = false;
    } b;
    UploadSession s(block, link, b);
    EXPECT_FALSE(s.start(""));
    EXPECT_EQ(b.status, fwtext::kUploadCanceled);
    EXPECT_TRUE(b.enabled);
    EXPECT_EQ(link.requests, 0);
}

// The written file is made as any new file is (0666 less the umask) and the
// process's umask, which other threads create their files under, is not touched.
TEST_F(UploadRig, TheWrittenFileTakesTheUmasksMode) {
    const mode_t before = ::umask(002);
    FirmwareWriter writer;
    ASSERT_TRUE(writer.begin(target_)) << writer.error();
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(writer.write(bytes, sizeof bytes));
    ASSERT_TRUE(writer.commit()) << writer.error();
    EXPECT_EQ(::umask(before), 002u);
    struct stat st {};
    ASSERT_EQ(::stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}

}  // namespace
}  // namespace halvek
