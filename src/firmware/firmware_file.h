#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halvek {

constexpr size_t kFirmwareHeaderSize = 128;
constexpr size_t kFirmwareRecordSize = 133;
constexpr size_t kFirmwareBlockSize = 128;
// The largest file a header can describe: 65535 counted records. Nothing
// longer is read.
constexpr size_t kLargestFirmwareFile = kFirmwareHeaderSize + 65535 * kFirmwareRecordSize;

// The 128 bytes at the start of a ".L8F" file. Only the format letter, the
// record count and the sector map mean anything to the host; the loader gets
// all 128 bytes unchanged.
struct FirmwareHeader {
    static constexpr size_t kFormatLetter = 7;
    static constexpr size_t kRecordCount = 28;  // two bytes, least significant first
    static constexpr size_t kSectorMap = 34;
    static constexpr size_t kSectorMapSize = 90;
    static constexpr uint8_t kCountedLayout = 'M';
    static constexpr uint8_t kMapEnd = 0xFF;
    static constexpr uint32_t kRecordsPerSector = 32;

    std::array<uint8_t, kFirmwareHeaderSize> bytes{};

    bool countedLayout() const { return bytes[kFormatLetter] == kCountedLayout; }
    // Records the download sends: the counted value, or 32 per sector listed
    // before the first 0xFF of the map (all 90 when there is none).
    uint32_t blockCount() const;
    // Packets an upload of a unit with this header expects: 32 per sector listed
    // before the first 0xFF among the first 85 entries, one fewer when the map
    // does not start at sector 0 (the unit keeps its first block back then).
    uint32_t uploadPacketCount() const;
    // Sectors listed before the first 0xFF, looking at no more than limit entries.
    uint32_t sectorsListed(size_t limit = kSectorMapSize) const;
};

// One 133-byte record: a lead byte, the 3-byte block address, 128 data bytes
// and the record check.
struct FirmwareRecord {
    static constexpr size_t kAddress = 1;
    static constexpr size_t kData = 4;
    static constexpr size_t kCheck = 132;

    std::array<uint8_t, kFirmwareRecordSize> bytes{};

    uint32_t address() const { return uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3]; }
    std::span<const uint8_t> data() const { return {bytes.data() + kData, kFirmwareBlockSize}; }
    bool checkRight() const;
};

// The ones' complement of the 8-bit sum of the 128 data bytes of a record.
uint8_t recordCheck(const uint8_t* record);

// A whole firmware file held in memory, as read and checked before a
// download: once it passes, nothing on the line can fail for want of a byte.
struct FirmwareFile {
    // What a unit that made its program up from a download puts in each
    // record's lead byte: the loader is never sent the file's.
    static constexpr uint8_t kUnitRecordLead = 0x00;

    FirmwareHeader header;
    std::vector<FirmwareRecord> records;  // the counted ones, in file order

    uint32_t blockCount() const { return static_cast<uint32_t>(records.size()); }
    std::vector<uint8_t> toBytes() const;
    // CRC_32 with seed 0 of the header and the counted records as they stand
    // (the CRC page's default over the file).
    uint32_t crc32() const;
    // The same over the program as a unit holds it after a download: the
    // header and the counted records, each with the given lead byte.
    uint32_t crc32WithLead(uint8_t lead) const;
    // Whether the unit's "Run CRC 32" (seed 0) answer is this file's program:
    // the unit's lead bytes are either those of the file (a file uploaded from
    // a unit carries them) or the ones it makes itself.
    bool matchesProgram(uint32_t unitCrc32) const {
        return unitCrc32 == crc32() || unitCrc32 == crc32WithLead(kUnitRecordLead);
    }
};

// The outcome of reading a firmware file: either ok, or a fault that names the
// file, the record (0 when the fault is not in a record) and what is wrong.
struct FirmwareFileFault {
    bool ok = true;
    std::string path;
    uint32_t record = 0;  // 1-based
    std::string fault;
    std::string message() const;
};

// Reads and checks a whole file: header readable, block count within the
// file, every counted record complete and its check right, nothing after the
// last of them. A file longer than any header can describe is refused without
// being read to its end; a device, pipe or folder without being read at all.
FirmwareFileFault readFirmwareFile(const std::string& path, FirmwareFile& out);
// The same over bytes already in memory (the path only names them in the fault).
FirmwareFileFault parseFirmwareFile(std::span<const uint8_t> bytes, const std::string& path, FirmwareFile& out);

}  // namespace halvek
