#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "cli/download.h"
#include "cli/upload.h"
#include "sim/loader/program_image.h"
#include "sim/sim_server.h"
#include "support/byte_file.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

// The console tools against the simulated unit on a pseudo-terminal.
class FirmwareE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        char d[] = "/tmp/halvek-fwe2e-XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        dir_ = d;
        ASSERT_TRUE(sim.start());
        if (std::getenv("SIMLOG")) sim.setLog([](const std::string& l) { fprintf(stderr, "sim: %s\n", l.c_str()); });
    }
    void TearDown() override {
        sim.stop();
        std::system(("rm -rf " + dir_).c_str());
    }
    std::string writeFile(const FirmwareFile& f, const std::string& name = "NEW.L8F") {
        const std::string path = dir_ + "/" + name;
        const Bytes b = f.toBytes();
        EXPECT_TRUE(test::writeByteFile(path, b));
        return path;
    }
    static Bytes readBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    int run(int (*tool)(const Strings&, std::ostream&, std::ostream&), Strings args) {
        out.str("");
        err.str("");
        return tool(args, out, err);
    }
    static std::string lastLineOf(const std::ostringstream& stream) {
        std::string line;
        std::istringstream in(stream.str());
        for (std::string l; std::getline(in, l);) line = l;
        return line;
    }
    std::string lastLine() const { return lastLineOf(out); }
    // Failures are said on the error stream.
    std::string lastError() const { return lastLineOf(err); }

    sim::SimServer sim;
    std::string dir_;
    std::ostringstream out, err;
};

// A unit powered up in its loader: an erased memory after a broken download
// keeps it there at the next power-up; a finished one runs the new program.
TEST_F(FirmwareE2E, StandaloneDownloadAtTheRealBaudSwitchLoadsTheFileExactly) {
    const FirmwareFile f = sim::program::generate({0, 1, 2, 3, 4}, "L8VQA077");
    const std::string path = writeFile(f);
    sim.setLoader(true);
    ASSERT_EQ(sim.execute("refuse block 100"), "");
    EXPECT_EQ(run(cli::runDownload, {path, "--port", sim.devicePath()}), 1) << out.str();
    EXPECT_EQ(lastError(), "download failed: send block cmd failed");
    EXPECT_EQ(sim.execute("power-cycle"), "");
    EXPECT_TRUE(sim.inLoader());

    ASSERT_EQ(sim.execute("refuse block 0"), "");
    EXPECT_EQ(run(cli::runDownload, {path, "--port", sim.devicePath()}), 0) << out.str();
    EXPECT_NE(lastLine().find("download done: " + path + ", 160 blocks"), std::string::npos) << out.str();
    EXPECT_NE(lastLine().find("not verified"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("progress: 160/160 blocks"), std::string::npos);  // plain lines off a terminal
    sim.withLoader([&](sim::DownloadLoader& l) {
        EXPECT_TRUE(l.finished());
        EXPECT_EQ(l.baud(), 9600);  // back from 38400
        EXPECT_EQ(l.loaded().toBytes(), f.toBytes());
    });
    EXPECT_EQ(sim.execute("power-cycle"), "");
    EXPECT_FALSE(sim.inLoader());
    sim.withModel([&](sim::ValidatorModel& m) { EXPECT_EQ(m.program().toBytes(), f.toBytes()); });
}

// Twice in one run of the unit, which restarts into its loader at every
// "Download Firmware": a file whose record lead bytes the loader is never sent
// is still verified, and loaded again the same.
TEST_F(FirmwareE2E, HandoverFromAPollingControllerLoadsRunsAndVerifiesTheProgram) {
    FirmwareFile leads = sim::program::generate({0, 1}, "L8VQA078");
    for (FirmwareRecord& r : leads.records) r.bytes[0] = 0xC3;
    const std::string path = writeFile(leads);
    const uint8_t unitLead = FirmwareFile::kUnitRecordLead;  // what the unit keeps in each lead byte
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(run(cli::runDownload, {path, "--port", sim.devicePath()}), 0) << out.str();
        EXPECT_NE(out.str().find("unit answers"), std::string::npos);
        EXPECT_NE(lastLine().find("program CRC_32 " + cli::hex8(leads.crc32WithLead(unitLead)) + " verified"),
                  std::string::npos)
            << out.str();
        EXPECT_FALSE(sim.inLoader());
        FirmwareFile held = leads;
        for (FirmwareRecord& r : held.records) r.bytes[0] = unitLead;
        sim.withModel([&](sim::ValidatorModel& m) { EXPECT_EQ(m.program().toBytes(), held.toBytes()); });
    }
}

// A loader that sends a line end after its answers: each answer is taken
// whole and what follows it dropped, so no step is refused or timed out for it.
TEST_F(FirmwareE2E, BytesTheLoaderSendsAfterItsAnswersAreDroppedAndCounted) {
    const FirmwareFile f = sim::program::generate({0, 1}, "L8VQA079");
    const std::string path = writeFile(f);
    sim.setLoader(true);
    for (const char* step : {"connect", "erase", "header", "block", "ack", "header-data", "block-data"})
        ASSERT_EQ(sim.execute(std::string("trail ") + step + " 1000"), "");
    EXPECT_EQ(run(cli::runDownload, {path, "--port", sim.devicePath()}), 0) << out.str();
    // Two bytes after each answer: the connect, the connect asked again by DOWNLOAD, the
    // erase, the header, its data and their ack, and three for each of the 64 blocks.
    EXPECT_NE(out.str().find("note: " + std::to_string(2 * (6 + 3 * 64)) +
                             " bytes the loader sent after its replies were dropped"),
              std::string::npos)
        << out.str();
    EXPECT_NE(lastLine().find("download done: " + path + ", 64 blocks"), std::string::npos) << out.str();
    sim.withLoader([&](sim::DownloadLoader& l) { EXPECT_EQ(l.loaded().toBytes(), f.toBytes()); });
}

// The device hangs up in the middle of the blocks (the far end is gone): the
// download says so at once and stops, rather than timing out a hundred times.
TEST_F(FirmwareE2E, ALineHungUpMidTransferIsSaidAtOnce) {
    const std::string path = writeFile(sim::program::generate({0, 1, 2}, "L8VQA080"));
    test::PtyPair line;
    std::atomic<bool> stop{false};
    // A loader on the line's far end that goes away after its 20th block.
    std::thread loader([&] {
        sim::DownloadLoader l;
        while (!stop && l.blocks().size() < 20) {
            pollfd p{line.master(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[512];
            const ssize_t n = ::read(line.master(), buf, sizeof buf);
            if (n <= 0) continue;
            termios t{};
            ::tcgetattr(line.master(), &t);
            l.feed(buf, static_cast<size_t>(n), cfgetospeed(&t) == B38400 ? 38400 : 9600);
            for (const Bytes& b : l.takeOutput()) line.send(b);
        }
        line.closeMaster();
    });
    const int rc = run(cli::runDownload, {path, "--port", line.slavePath()});
    stop = true;
    loader.join();
    EXPECT_EQ(rc, 1) << out.str();
    EXPECT_EQ(lastError(), "download failed: Line lost: " + line.slavePath() + " hung up or went away") << err.str();
    EXPECT_EQ(out.str().find("timeout"), std::string::npos) << out.str();
}

TEST_F(FirmwareE2E, UploadInBothFrameLayoutsIsTheUnitsProgram) {
    for (const char* layout : {"--q7", "--q7e"}) {
        const std::string path = dir_ + "/FW" + layout + ".L8F";
        EXPECT_EQ(run(cli::runUpload, {path, "--port", sim.devicePath(), layout}), 0) << out.str();
        const Bytes expected = sim.withModel([](sim::ValidatorModel& m) { return m.program().toBytes(); });
        EXPECT_EQ(readBytes(path), expected) << layout;
        FirmwareFile f;
        parseFirmwareFile(expected, path, f);
        EXPECT_NE(lastLine().find("file CRC_32 " + cli::hex8(f.crc32())), std::string::npos) << lastLine();
    }
}

TEST_F(FirmwareE2E, ACorruptPacketFailsTheUploadAndLeavesNoFile) {
    const std::string path = dir_ + "/FW.L8F";
    sim.execute("corrupt-packet 5");
    EXPECT_EQ(run(cli::runUpload, {path, "--port", sim.devicePath()}), 1);
    EXPECT_NE(lastError().find("upload failed: Transmission or Checksum Error. packet 5 of 128"), std::string::npos)
        << lastError();
    EXPECT_NE(lastError().find("FW.L8F not created"), std::string::npos);
    struct stat st {};
    EXPECT_NE(::stat(path.c_str(), &st), 0);
}

TEST_F(FirmwareE2E, ExitCodesOfTheConsoleTools) {
    FirmwareFile f = sim::program::generate({0}, "REV");
    const std::string good = writeFile(f);
    f.records[9].bytes[40] ^= 1;
    const std::string bad = writeFile(f, "BAD.L8F");
    Bytes trailing = sim::program::generate({0}, "REV").toBytes();
    trailing.insert(trailing.end(), 77, 0xEE);
    const std::string trail = dir_ + "/TRAIL.L8F";
    ASSERT_TRUE(test::writeByteFile(trail, trailing));
    const std::string readOnly = dir_ + "/KEPT.L8F";
    std::ofstream(readOnly) << "kept";
    ::chmod(readOnly.c_str(), 0444);
    sim.setLoader(true);
    struct Case {
        int (*tool)(const Strings&, std::ostream&, std::ostream&);
        Strings args;
        int code;
        std::string words;
    } cases[] = {
        {cli::runDownload, {good}, 2, ""},
        {cli::runDownload, {good, "--port", "/dev/x", "--simulate"}, 2, ""},
        {cli::runDownload, {"--bogus"}, 2, ""},
        {cli::runUpload, {good, "--dry-run", "--simulate"}, 2, ""},
        // The target is checked before anything is transferred, and said once.
        {cli::runUpload, {dir_, "--simulate"}, 1, "upload failed: cannot write " + dir_ + ": it is a folder"},
        {cli::runUpload, {readOnly, "--simulate"}, 1, "upload failed: cannot write " + readOnly + ": it is read-only"},
        {cli::runDownload, {good, "--dry-run"}, 0, "dry run: the file is sound; nothing was sent"},
        {cli::runDownload,
         {bad, "--port", sim.devicePath()},
         1,
         "download failed: " + bad + ": record 10: record check"},
        {cli::runDownload,
         {trail, "--port", sim.devicePath()},
         1,
         "download failed: " + trail +
             ": 77 bytes after the last of the 32 records the header announces, from offset 4384: a firmware file "
             "ends with its last record (nothing was sent)"},
        {cli::runDownload,
         {"/dev/zero", "--dry-run"},
         1,
         "download failed: /dev/zero: cannot open the file: not a "
         "regular file (a character device)"},
        {cli::runDownload,
         {dir_ + "/none.L8F", "--dry-run"},
         1,
         "download failed: " + dir_ + "/none.L8F: cannot open the file: No such file or directory"},
        {cli::runDownload, {good, "--port", dir_ + "/nodevice"}, 1, "download failed: cannot open " + dir_},
        {cli::runDownload,
         {good, "--simulate", "--dry-run", "--scenario", "refuse erase 100"},
         1,
         "download failed: erase all cmd failed"},
        {cli::runDownload,
         {good, "--simulate", "--dry-run", "--scenario", "refuse block-data 100"},
         1,
         "download failed: send ack cmd failed"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.tool, c.args), c.code) << c.args[0] << out.str() << err.str();
        // What was asked for on standard output, a failure on standard error, and never both ways.
        const std::string said = c.code == 0 ? lastLine() : lastError();
        if (!c.words.empty()) EXPECT_EQ(said.rfind(c.words, 0), 0u) << said;
        if (c.code != 0) EXPECT_EQ(out.str().find("failed"), std::string::npos) << out.str();
    }
    EXPECT_EQ(readBytes(readOnly), (Bytes{'k', 'e', 'p', 't'}));
    // The bad files reached nothing: the loader never saw an erase.
    sim.withLoader([](sim::DownloadLoader& l) { EXPECT_FALSE(l.erased()); });
}

}  // namespace
}  // namespace halvek
