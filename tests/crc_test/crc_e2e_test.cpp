// The CRC test against the simulated unit: its program checksum against a
// file's, through the real line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "cli/crc.h"
#include "e2e/link_rig.h"
#include "firmware/crc_test/crc_test_session.h"
#include "firmware/crc_test/crc_texts.h"
#include "protocol/catalogue.h"
#include "sim/loader/program_image.h"
#include "support/byte_file.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class CrcFiles : public ::testing::Test {
  protected:
    CrcFiles() : dir(fs::temp_directory_path() / ("halvek_crc_e2e_" + std::to_string(::getpid()))) {
        fs::create_directories(dir);
        // The simulated unit runs its standard program; its file is that program written out.
        const sim::Bytes image = sim::program::standard("L8VQA034").toBytes();
        EXPECT_TRUE(test::writeByteFile(same, image));
        sim::Bytes changed = image;
        changed[1000] ^= 0x01;
        EXPECT_TRUE(test::writeByteFile(other, changed));
    }
    ~CrcFiles() override { fs::remove_all(dir); }
    fs::path dir;
    fs::path same = dir / "same.L8F", other = dir / "other.L8F";
};

struct NoListener : CrcTestListener {
    void crcTestChanged() override {}
    void crcTestMessage(const Message&) override {}
};

TEST_F(CrcFiles, TheSimulatedUnitAnswersLateAndBothVerdictsCome) {
    sim::SimOptions options;
    options.crcBusyMs = 800;  // the first reads go unanswered
    test::LinkRig rig(true, options);
    ASSERT_TRUE(rig.host.controller.connect());
    NoListener listener;
    int reads = 0;
    CrcTestSession session(
        rig.host.stores.crc,
        [&](uint8_t code) {
            reads += code == cmd::ReadCrc16 || code == cmd::ReadCrc32;
            rig.host.controller.request(code);
        },
        &listener);
    struct Case {
        CrcAlgorithm algorithm;
        const char *low, *high;
        fs::path file;
        const char* verdict;
    };
    const Case cases[] = {
        {CrcAlgorithm::Crc32, "FFFF", "FFFF", same, crctext::kIdentical},
        {CrcAlgorithm::Crc16, "1234", "", other, crctext::kDifferent},
        {CrcAlgorithm::Ccitt, "0000", "", same, crctext::kIdentical},
    };
    for (const Case& c : cases) {
        session.setAlgorithm(c.algorithm);
        session.setSeedTexts(c.low, c.high);
        session.chooseFile(c.file.string());
        reads = 0;
        session.run();
        // The page's 500 ms ticks, run faster: the read is repeated until the unit answers.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (session.programTestRunning() && std::chrono::steady_clock::now() < deadline) {
            session.onTick();
            rig.tick();
            // The rig's user interface only records the refresh; hand it on as a window would.
            if (!rig.ui.refreshed.empty() && rig.ui.refreshed.back() == View::Crc) {
                rig.ui.refreshed.clear();
                session.onProgramResult(rig.host.stores.crc.lastRead);
            }
        }
        ASSERT_FALSE(session.programTestRunning()) << crcInfo(c.algorithm).caption;
        EXPECT_EQ(session.fields().status, c.verdict) << crcInfo(c.algorithm).caption;
        EXPECT_EQ(session.fields().programCrc == session.fields().fileCrc, c.verdict == crctext::kIdentical);
        EXPECT_GT(reads, 1) << "the first read comes while the unit is still busy";
    }
}

TEST_F(CrcFiles, TheConsoleToolPrintsTheFileChecksumAndComparesWithTheUnit) {
    std::ostringstream out, err;
    ASSERT_EQ(cli::runCrc({same.string(), "--algorithm", "crc32", "--seed", "ffffffff"}, out, err), 0) << err.str();
    NoListener listener;
    CrcStore store;
    CrcTestSession page(
        store, [](uint8_t) {}, &listener);
    page.setProgramBox(false);
    page.setAlgorithm(CrcAlgorithm::Crc32);
    page.setSeedTexts("FFFF", "FFFF");
    page.chooseFile(same.string());
    page.run();
    EXPECT_EQ(out.str(), page.fields().fileCrc + "\n");

    out.str("");
    EXPECT_EQ(cli::runCrc({"--program", "--simulate", same.string(), "--algorithm", "ccitt"}, out, err), 0)
        << err.str();
    EXPECT_NE(out.str().find("Test Results: IDENTICAL \n"), std::string::npos) << out.str();
    out.str("");
    EXPECT_EQ(cli::runCrc({"--program", "--simulate", other.string()}, out, err), 3) << err.str();
    EXPECT_NE(out.str().find("Test Results: DIFFERENT \n"), std::string::npos) << out.str();

    err.str("");
    EXPECT_EQ(cli::runCrc({same.string(), "--seed", "12G"}, out, err), 2);
    EXPECT_NE(err.str().find("Invalid SEED value"), std::string::npos);
    EXPECT_EQ(cli::runCrc({(dir / "missing.L8F").string()}, out, err), 1);
    EXPECT_NE(err.str().find("missing.L8F: No such file or directory"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace halvek
