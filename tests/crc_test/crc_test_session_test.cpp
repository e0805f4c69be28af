#include "firmware/crc_test/crc_test_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "firmware/crc.h"
#include "firmware/crc_test/crc_texts.h"
#include "firmware/crc_test/seed_check.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

TEST(SeedCheck, BoxesAreReadAsUpToFourUpperCaseHexDigits) {
    struct Case {
        const char *low, *high;
        bool wide;  // CRC_32: the high box counts
        bool valid;
        const char *shownLow, *shownHigh;
        uint16_t seed16;
        uint32_t seed32;
    };
    const Case cases[] = {
        {"1", "", true, true, "0001", "0000", 0x0001, 0x00000001},
        {"", "", true, true, "0000", "0000", 0, 0},
        {"FFFF", "FFFF", true, true, "FFFF", "FFFF", 0xFFFF, 0xFFFFFFFF},
        {"BEEF", "12", true, true, "BEEF", "0012", 0xBEEF, 0x0012BEEF},
        {"12G", "", true, false, "", "", 0, 0},
        {"ff", "", true, false, "", "", 0, 0},  // the box makes typing upper case; lower case is not a digit here
        {"0001", "1 2", true, false, "", "", 0, 0},
        {"12345", "", true, false, "", "", 0, 0},
        // The disabled high box is left as it is, whatever it holds.
        {"1", "XYZ!!", false, true, "0001", "XYZ!!", 0x0001, 0x00000001},
        {"12G", "", false, false, "", "", 0, 0},
    };
    for (const Case& c : cases) {
        const SeedCheck s = checkSeeds(c.low, c.high, c.wide);
        EXPECT_EQ(s.valid, c.valid) << c.low << "/" << c.high;
        if (!c.valid) continue;
        EXPECT_EQ(s.low, c.shownLow);
        EXPECT_EQ(s.high, c.shownHigh);
        EXPECT_EQ(s.seeds.seed16, c.seed16);
        EXPECT_EQ(s.seeds.seed32, c.seed32);
    }
}

class TempDir {
  public:
    TempDir() : path(fs::temp_directory_path() / ("halvek_crc_" + std::to_string(::getpid()))) {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
        return path / name;
    }
    fs::path path;
};

// The check values of "123456789" with each algorithm and seed, as the page shows them.
TEST(CrcCatalogue, TheNineDigitsGiveTheCatalogueValues) {
    struct Case {
        CrcAlgorithm algorithm;
        const char *low, *high;
        const char* shown;
        const char* known;  // the catalogue's name for it, where there is one
    };
    const Case cases[] = {
        {CrcAlgorithm::Crc16, "0000", "", "FEE8", "CRC-16/UMTS"},
        {CrcAlgorithm::Crc16, "FFFF", "", "AEE7", "CRC-16/CMS"},
        {CrcAlgorithm::Ccitt, "0000", "", "31C3", "CRC-16/XMODEM"},
        {CrcAlgorithm::Ccitt, "FFFF", "", "29B1", "CRC-16/IBM-3740"},
        {CrcAlgorithm::Crc32, "FFFF", "FFFF", "CBF43926", "CRC-32/ISO-HDLC"},
        {CrcAlgorithm::Crc32, "0000", "0000", "D202D277", "register from 0, inverted at the end"},
    };
    TempDir dir;
    const fs::path file = dir.write("digits.L8F", "123456789");
    const std::string digits = "123456789";
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(digits.data()), digits.size());
    for (const Case& c : cases) {
        const SeedCheck s = checkSeeds(c.low, c.high, crcInfo(c.algorithm).wide);
        ASSERT_TRUE(s.valid);
        uint32_t fromFile = 0;
        std::string reason;
        ASSERT_TRUE(fileCrc(file.string(), c.algorithm, s.seeds, fromFile, reason)) << reason;
        EXPECT_EQ(formatCrc(c.algorithm, fromFile), c.shown) << c.known;
        const uint32_t direct = crcInfo(c.algorithm).wide
                                    ? crc32(s.seeds.seed32, bytes)
                                    : crc16(crcInfo(c.algorithm).polynomial, s.seeds.seed16, bytes);
        EXPECT_EQ(direct, fromFile) << c.known;
    }
}

// zlib's CRC-32 carries the unit's seeded variant: any seed, any bytes, and
// data fed in pieces give what the byte-at-a-time reference gives.
TEST(Crc32, TheFastFormIsTheReferenceOverRandomBytesSeedsAndPieces) {
    std::mt19937 random(20261210);
    std::vector<uint8_t> bytes(70000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    const uint32_t seeds[] = {0, 0xFFFFFFFF, 0x12345678, static_cast<uint32_t>(random())};
    const size_t lengths[] = {0, 1, 3, 7, 8, 31, 64, 1000, 4093, 70000};
    for (uint32_t seed : seeds) {
        for (size_t length : lengths) {
            const std::span<const uint8_t> data(bytes.data(), length);
            const uint32_t reference = crc32UpdateReference(seed, data);
            ASSERT_EQ(crc32Update(seed, data), reference) << std::hex << seed << " " << std::dec << length;
            EXPECT_EQ(crc32(seed, data), ~reference);
            // In two pieces, cut anywhere, as a file read in blocks is.
            const size_t cut = length == 0 ? 0 : random() % length;
            EXPECT_EQ(crc32Update(crc32Update(seed, data.first(cut)), data.subspan(cut)), reference);
        }
    }
}

// The session with the owner's side recorded: requests, repaints and messages.
class SessionFixture : public ::testing::Test, public CrcTestListener {
  protected:
    SessionFixture()
        : session(
              store, [this](uint8_t code) { requests.push_back(code); }, this) {}
    void crcTestChanged() override { ++changes; }
    void crcTestMessage(const Message& m) override { messages.push_back(m); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) session.onTick();
    }

    TempDir dir;
    CrcStore store;
    std::vector<uint8_t> requests;
    std::vector<Message> messages;
    int changes = 0;
    CrcTestSession session;
};

TEST_F(SessionFixture, AProgramTestBlinksAndAsksForTheResultEvery3Seconds) {
    session.setAlgorithm(CrcAlgorithm::Ccitt);
    session.setSeedTexts("1", "");
    session.run();
    EXPECT_EQ(requests, std::vector<uint8_t>{cmd::RunCrc16});
    EXPECT_EQ(store.polynomial, 0x1021);
    EXPECT_EQ(store.seed16, 0x0001);
    EXPECT_EQ(session.fields().lowSeed, "0001");
    EXPECT_EQ(session.fields().status, crctext::kInProgress);
    EXPECT_FALSE(session.fields().controlsEnabled);
    EXPECT_TRUE(session.wantsTicks());

    ticks(1);
    EXPECT_EQ(session.fields().status, " ");
    ticks(1);
    EXPECT_EQ(session.fields().status, "TEST IN PROGRESS");
    ticks(4);
    EXPECT_EQ(requests, (std::vector<uint8_t>{cmd::RunCrc16, cmd::ReadCrc16}));
    ticks(6);
    EXPECT_EQ(requests.size(), 3u);

    store.result16 = 0x1A2B;
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_EQ(session.fields().programCrc, "1A2B");
    EXPECT_EQ(session.fields().status, crctext::kProgramDone);
    EXPECT_TRUE(session.fields().controlsEnabled);
    EXPECT_FALSE(session.wantsTicks());

    // A late answer after the test is over changes nothing.
    store.result16 = 0x9999;
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_EQ(session.fields().programCrc, "1A2B");
    EXPECT_EQ(session.fields().status, crctext::kProgramDone);
}

TEST_F(SessionFixture, OnlyTheReadOfTheRunningWidthGivesTheResult) {
    session.setAlgorithm(CrcAlgorithm::Crc32);
    session.run();
    store.result16 = 0x1111;  // a "Read CRC 16" answered meanwhile
    store.result32 = 0x22222222;
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_TRUE(session.programTestRunning());
    EXPECT_EQ(session.fields().programCrc, "0000");
    session.onProgramResult(cmd::ReadCrc32);
    EXPECT_EQ(session.fields().programCrc, "22222222");

    session.setAlgorithm(CrcAlgorithm::Crc16);
    session.run();
    session.onProgramResult(cmd::ReadCrc32);
    EXPECT_TRUE(session.programTestRunning());
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_EQ(session.fields().programCrc, "1111");
}

TEST_F(SessionFixture, TheDisabledHighSeedBoxStopsNoSixteenBitTest) {
    session.setAlgorithm(CrcAlgorithm::Crc32);
    session.setSeedTexts("0001", "ZZ");  // typed while CRC_32 was chosen
    session.setAlgorithm(CrcAlgorithm::Ccitt);
    session.run();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(requests, std::vector<uint8_t>{cmd::RunCrc16});
    EXPECT_EQ(session.fields().highSeed, "ZZ");
    session.onProgramResult(cmd::ReadCrc16);

    session.setAlgorithm(CrcAlgorithm::Crc32);
    session.run();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, crctext::kInvalidSeed);
}

TEST_F(SessionFixture, OnlyTheFileBoxComputesAtOnceAndSendsNothing) {
    session.setProgramBox(false);
    session.chooseFile(dir.write("fw.L8F", "123456789").string());
    EXPECT_EQ(session.fields().fileName, "fw.L8F");
    session.setAlgorithm(CrcAlgorithm::Crc32);
    session.setSeedTexts("FFFF", "FFFF");
    session.run();
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(session.fields().fileCrc, "CBF43926");
    EXPECT_EQ(session.fields().status, crctext::kFileDone);
    EXPECT_TRUE(session.fields().controlsEnabled);
    EXPECT_FALSE(session.wantsTicks());
}

TEST_F(SessionFixture, BothBoxesGiveTheVerdictWhenTheProgramAnswers) {
    struct Case {
        uint32_t program;
        const char* verdict;
    };
    const Case cases[] = {{0x31C3, crctext::kIdentical}, {0x31C4, crctext::kDifferent}};
    session.chooseFile(dir.write("fw.L8F", "123456789").string());
    session.setAlgorithm(CrcAlgorithm::Ccitt);
    for (const Case& c : cases) {
        session.run();
        EXPECT_EQ(session.fields().fileCrc, "31C3") << "shown at once";
        EXPECT_EQ(session.fields().status, crctext::kInProgress);
        store.result16 = static_cast<uint16_t>(c.program);
        session.onProgramResult(cmd::ReadCrc16);
        EXPECT_EQ(session.fields().status, c.verdict);
    }
}

TEST_F(SessionFixture, ACancelledFileDialogLeavesTheProgramAlone) {
    session.chooseFile("");
    EXPECT_TRUE(session.fields().fileBox);
    EXPECT_EQ(session.fields().fileName, crctext::kNoFile);
    session.run();
    store.result16 = 0x0102;
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_EQ(session.fields().status, crctext::kProgramDone);
    EXPECT_EQ(session.fields().fileCrc, "0000");
}

TEST_F(SessionFixture, AnInvalidSeedOrAnUnreadableFileIsSaidAndNothingIsLeftDisabled) {
    session.setSeedTexts("12G", "");
    session.run();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Info");
    EXPECT_EQ(messages[0].text, crctext::kInvalidSeed);
    EXPECT_EQ(session.fields().lowSeed, "0000");
    EXPECT_TRUE(requests.empty());

    const fs::path gone = dir.write("gone.L8F", "x");
    session.setProgramBox(false);
    session.chooseFile(gone.string());
    fs::remove(gone);
    session.run();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[1].text.find("gone.L8F"), std::string::npos);
    EXPECT_NE(messages[1].detail.find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(session.fields().controlsEnabled);
    EXPECT_EQ(session.fields().fileCrc, "0000");
    EXPECT_NE(session.fields().status, crctext::kInProgress);

    // Only a plain file is read: /dev/zero never ends, a pipe would wait for a writer.
    const fs::path fifo = dir.path / "pipe.L8F";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path, kind;
    } notFiles[] = {{"/dev/zero", "a character device"}, {fifo.string(), "a named pipe"}};
    for (const auto& c : notFiles) {
        messages.clear();
        session.chooseFile(c.path);
        session.run();
        ASSERT_EQ(messages.size(), 1u) << c.path;
        EXPECT_EQ(messages[0].detail, c.path + ": not a regular file (" + c.kind + ")");
        EXPECT_TRUE(session.fields().controlsEnabled);
    }
    session.chooseFile(gone.string());

    // With the program test under way too, the missing file gives no verdict.
    session.setProgramBox(true);
    session.run();
    store.result16 = 0;
    session.onProgramResult(cmd::ReadCrc16);
    EXPECT_EQ(session.fields().status, crctext::kProgramDone);
}

}  // namespace
}  // namespace halvek
