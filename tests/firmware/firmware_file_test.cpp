#include "firmware/firmware_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "firmware/crc.h"
#include "sim/loader/program_image.h"
#include "support/byte_file.h"

namespace halvek {
namespace {

FirmwareHeader sectorMap(std::initializer_list<uint8_t> entries, bool endMark = true) {
    FirmwareHeader h;
    h.bytes.fill(0x11);
    h.bytes[FirmwareHeader::kFormatLetter] = 'S';
    size_t i = 0;
    for (uint8_t e : entries) h.bytes[FirmwareHeader::kSectorMap + i++] = e;
    if (endMark && i < FirmwareHeader::kSectorMapSize) h.bytes[FirmwareHeader::kSectorMap + i] = 0xFF;
    return h;
}

TEST(FirmwareHeader, BlockAndPacketCountsOfBothLayouts) {
    FirmwareHeader counted;
    counted.bytes[FirmwareHeader::kFormatLetter] = 'M';
    counted.bytes[28] = 0x34;
    counted.bytes[29] = 0x12;
    FirmwareHeader countedZero;
    countedZero.bytes[FirmwareHeader::kFormatLetter] = 'M';
    FirmwareHeader noEnd;  // 90 entries, none of them 0xFF
    noEnd.bytes[FirmwareHeader::kFormatLetter] = 'S';
    struct Case {
        const char* name;
        FirmwareHeader header;
        uint32_t blocks;
        uint32_t packets;
    } cases[] = {
        {"counted", counted, 0x1234, 0},  // the upload ignores the letter: the map (all 0) has no end
        {"counted 0", countedZero, 0, 0},
        {"map starting with 0xFF", sectorMap({0xFF}), 0, 0},
        {"3 sectors from 0", sectorMap({0, 1, 2}), 96, 96},
        {"3 sectors from 5", sectorMap({5, 6, 7}), 96, 95},
        {"no 0xFF at all", noEnd, 2880, 85 * 32},
    };
    cases[0].packets = 85 * 32;
    cases[1].packets = 85 * 32;
    for (const Case& c : cases) {
        EXPECT_EQ(c.header.blockCount(), c.blocks) << c.name;
        EXPECT_EQ(c.header.uploadPacketCount(), c.packets) << c.name;
    }
}

class FileFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/halvek-fw-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string write(const std::vector<uint8_t>& bytes, const std::string& name = "unit.L8F") {
        const std::string path = dir_ + "/" + name;
        EXPECT_TRUE(test::writeByteFile(path, bytes));
        return path;
    }
    std::string dir_;
};

TEST_F(FileFixture, SoundFilesOfBothLayoutsReadWhole) {
    for (bool counted : {false, true}) {
        const FirmwareFile made = sim::program::generate({0, 1}, "REV", counted);
        FirmwareFile read;
        const FirmwareFileFault f = readFirmwareFile(write(made.toBytes()), read);
        ASSERT_TRUE(f.ok) << f.message();
        EXPECT_EQ(read.blockCount(), 64u);
        EXPECT_EQ(read.toBytes(), made.toBytes());
    }
}

TEST_F(FileFixture, FaultsNameTheFileTheRecordAndWhatIsWrong) {
    const std::vector<uint8_t> good = sim::program::generate({0, 1}, "REV").toBytes();
    auto badCheck = good;
    badCheck[128 + 4 * 133 + 132] ^= 1;  // record 5
    auto badData = good;
    badData[128 + 9 * 133 + 50] ^= 0x40;  // record 10
    const std::vector<uint8_t> cut(good.begin(), good.end() - 100);
    const std::vector<uint8_t> short_(good.begin(), good.end() - 133);
    const std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 60);
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t record;
        const char* words;
    } cases[] = {
        {badCheck, 5, "record check"},
        {badData, 10, "record check"},
        {cut, 64, "incomplete (33 of 133 bytes)"},
        {short_, 64, "the file ends after record 63"},
        {headerOnly, 0, "header is incomplete (60 of 128"},
    };
    for (const Case& c : cases) {
        FirmwareFile out;
        const std::string path = write(c.bytes, "bad.L8F");
        const FirmwareFileFault f = readFirmwareFile(path, out);
        ASSERT_FALSE(f.ok) << c.words;
        EXPECT_EQ(f.record, c.record) << c.words;
        EXPECT_NE(f.message().find(path), std::string::npos) << f.message();
        EXPECT_NE(f.message().find(c.words), std::string::npos) << f.message();
        if (c.record) {
            EXPECT_NE(f.message().find("record " + std::to_string(c.record) + ":"), std::string::npos);
        }
    }
    FirmwareFile out;
    const FirmwareFileFault missing = readFirmwareFile(dir_ + "/none.L8F", out);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message().find("none.L8F: cannot open the file: No such file"), std::string::npos);
}

// The unit is never sent a record's lead byte nor what lies after the counted
// records: its program checksum is held against the file as the unit has it.
TEST(FirmwareFile, TheUnitsProgramChecksumMatchesWhatWasSent) {
    FirmwareFile sent = sim::program::generate({0, 1}, "REV");
    for (size_t i = 0; i < sent.records.size(); ++i) sent.records[i].bytes[0] = static_cast<uint8_t>(0xA0 + i);
    // The unit's side: the program as the simulated loader rebuilds it.
    FirmwareFile unit = sent;
    for (FirmwareRecord& r : unit.records) r.bytes[0] = FirmwareFile::kUnitRecordLead;
    const uint32_t unitCrc = crc32(0, unit.toBytes());
    FirmwareFile changed = sent;
    changed.records[40].bytes[FirmwareRecord::kData + 3] ^= 1;
    struct Case {
        const char* name;
        const FirmwareFile& file;
        uint32_t unit;
        bool match;
    } cases[] = {
        {"lead bytes the unit never got", sent, unitCrc, true},
        {"a unit that keeps the file's lead bytes", sent, sent.crc32(), true},
        {"a block that differs", changed, unitCrc, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.file.matchesProgram(c.unit), c.match) << c.name;
}

// A file ends with its last counted record: bytes behind it, be it one, a
// whole record the count leaves out or a megabyte, refuse the file.
TEST_F(FileFixture, BytesAfterTheLastCountedRecordRefuseTheFile) {
    const FirmwareFile made = sim::program::generate({0}, "REV");
    for (size_t extra : {size_t{1}, size_t{200}, kFirmwareRecordSize, size_t{1} << 20}) {
        std::vector<uint8_t> bytes = made.toBytes();
        bytes.insert(bytes.end(), extra, 0x5A);
        const std::string path = write(bytes);
        FirmwareFile read;
        const FirmwareFileFault f = readFirmwareFile(path, read);
        ASSERT_FALSE(f.ok) << extra;
        EXPECT_EQ(f.message(), path + ": " + std::to_string(extra) + (extra == 1 ? " byte" : " bytes") +
                                   " after the last of the 32 records the header announces, from offset 4384: a "
                                   "firmware file ends with its last record");
    }
}

// Only a plain file is read: a device would never end, a pipe would wait.
TEST_F(FileFixture, ADeviceAPipeOrAFolderIsRefusedUnread) {
    const std::string fifo = dir_ + "/pipe.L8F";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* kind;
    } cases[] = {{"/dev/zero", "a character device"}, {fifo, "a named pipe"}, {dir_, "a folder"}};
    for (const auto& c : cases) {
        FirmwareFile out;
        const FirmwareFileFault f = readFirmwareFile(c.path, out);
        EXPECT_EQ(f.message(), c.path + ": cannot open the file: not a regular file (" + c.kind + ")");
    }
}

TEST_F(FileFixture, AFileLongerThanAnyHeaderCanDescribeIsRefusedUnread) {
    const std::string path = dir_ + "/huge.L8F";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(::ftruncate(fileno(f), static_cast<off_t>(kLargestFirmwareFile + 1)), 0);  // sparse
    std::fclose(f);
    FirmwareFile out;
    const FirmwareFileFault fault = readFirmwareFile(path, out);
    ASSERT_FALSE(fault.ok);
    EXPECT_EQ(fault.message(), path +
                                   ": the file is longer than the 8716283 bytes of the largest firmware file (65535 "
                                   "records): not a firmware file");
}

TEST_F(FileFixture, AnUploadOfAMapNotStartingAtSector0IsRefusedWithTheReason) {
    // An upload keeps 95 of the 96 records such a header announces.
    const FirmwareFile unit = sim::program::generate({5, 6, 7}, "REV");
    std::vector<uint8_t> bytes = unit.toBytes();
    bytes.resize(bytes.size() - kFirmwareRecordSize);
    FirmwareFile out;
    const FirmwareFileFault fault = readFirmwareFile(write(bytes), out);
    ASSERT_FALSE(fault.ok);
    EXPECT_EQ(fault.record, 96u);
    EXPECT_NE(fault.message().find("an upload stores one record fewer when the sector map does not start at sector 0"),
              std::string::npos)
        << fault.message();
}

}  // namespace
}  // namespace halvek
