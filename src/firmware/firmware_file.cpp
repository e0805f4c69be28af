#include "firmware/firmware_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "firmware/crc.h"
#include "firmware/regular_file.h"

namespace halvek {
namespace {

std::string hex2(uint8_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

FirmwareFileFault fault(const std::string& path, uint32_t record, std::string what) {
    FirmwareFileFault f;
    f.ok = false;
    f.path = path;
    f.record = record;
    f.fault = std::move(what);
    return f;
}

}  // namespace

uint32_t FirmwareHeader::sectorsListed(size_t limit) const {
    uint32_t n = 0;
    while (n < limit && bytes[kSectorMap + n] != kMapEnd) ++n;
    return n;
}

uint32_t FirmwareHeader::blockCount() const {
    if (countedLayout()) return uint32_t{bytes[kRecordCount]} | uint32_t{bytes[kRecordCount + 1]} << 8;
    return kRecordsPerSector * sectorsListed();
}

uint32_t FirmwareHeader::uploadPacketCount() const {
    const uint32_t n = kRecordsPerSector * sectorsListed(85);
    return bytes[kSectorMap] != 0 && n > 0 ? n - 1 : n;
}

uint8_t recordCheck(const uint8_t* record) {
    uint8_t sum = 0;
    for (size_t i = FirmwareRecord::kData; i < FirmwareRecord::kCheck; ++i) sum = static_cast<uint8_t>(sum + record[i]);
    return static_cast<uint8_t>(~sum);
}

bool FirmwareRecord::checkRight() const { return recordCheck(bytes.data()) == bytes[kCheck]; }

std::vector<uint8_t> FirmwareFile::toBytes() const {
    std::vector<uint8_t> out(header.bytes.begin(), header.bytes.end());
    out.reserve(kFirmwareHeaderSize + records.size() * kFirmwareRecordSize);
    for (const FirmwareRecord& r : records) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    return out;
}

uint32_t FirmwareFile::crc32() const {
    uint32_t reg = crc32Update(0, header.bytes);
    for (const FirmwareRecord& r : records) reg = crc32Update(reg, r.bytes);
    return ~reg;
}

uint32_t FirmwareFile::crc32WithLead(uint8_t lead) const {
    uint32_t reg = crc32Update(0, header.bytes);
    for (const FirmwareRecord& r : records) {
        reg = crc32Update(reg, std::span<const uint8_t>(&lead, 1));
        reg = crc32Update(reg, std::span<const uint8_t>(r.bytes).subspan(1));
    }
    return ~reg;
}

std::string FirmwareFileFault::message() const {
    if (ok) return {};
    std::string m = path + ": ";
    if (record != 0) m += "record " + std::to_string(record) + ": ";
    return m + fault;
}

FirmwareFileFault parseFirmwareFile(std::span<const uint8_t> bytes, const std::string& path, FirmwareFile& out) {
    out = FirmwareFile{};
    if (bytes.size() < kFirmwareHeaderSize)
        return fault(
            path, 0,
            "the header is incomplete (" + std::to_string(bytes.size()) + " of 128 bytes): not a firmware file");
    std::copy(bytes.begin(), bytes.begin() + kFirmwareHeaderSize, out.header.bytes.begin());
    const uint32_t count = out.header.blockCount();
    const size_t body = bytes.size() - kFirmwareHeaderSize;
    const size_t whole = body / kFirmwareRecordSize;
    if (whole < count) {
        const auto missing = static_cast<uint32_t>(whole + 1);
        const size_t partial = body % kFirmwareRecordSize;
        const std::string of = " of the " + std::to_string(count) + " the header announces";
        if (partial != 0)
            return fault(path, missing,
                         "incomplete (" + std::to_string(partial) + " of 133 bytes): the file ends early" + of);
        // An upload from a unit whose sector map does not start at sector 0
        // stores one packet fewer than the map announces: say so, since the
        // file is then whole as the unit gave it, yet not one to load.
        const bool uploadShape = !out.header.countedLayout() && out.header.bytes[FirmwareHeader::kSectorMap] != 0 &&
                                 whole + 1 == count && whole == out.header.uploadPacketCount();
        return fault(path, missing,
                     "missing: the file ends after record " + std::to_string(whole) + of +
                         (uploadShape ? " (an upload stores one record fewer when the sector map does not start at "
                                        "sector 0)"
                                      : ""));
    }
    // A file ends with its last counted record. Anything behind it means the
    // header and the body disagree (a count too small, two files run together,
    // a transfer that appended junk): which part is the program cannot be told,
    // and loading the counted part alone could leave the unit a program cut short.
    const size_t end = kFirmwareHeaderSize + size_t{count} * kFirmwareRecordSize;
    if (bytes.size() > end) {
        const size_t extra = bytes.size() - end;
        return fault(path, 0,
                     std::to_string(extra) + (extra == 1 ? " byte" : " bytes") + " after the last of the " +
                         std::to_string(count) + " records the header announces, from offset " + std::to_string(end) +
                         ": a firmware file ends with its last record");
    }
    out.records.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        FirmwareRecord& r = out.records[i];
        const size_t at = kFirmwareHeaderSize + size_t{i} * kFirmwareRecordSize;
        std::copy(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + kFirmwareRecordSize),
                  r.bytes.begin());
        if (!r.checkRight())
            return fault(path, i + 1,
                         "record check " + hex2(r.bytes[FirmwareRecord::kCheck]) + " is wrong (the data give " +
                             hex2(recordCheck(r.bytes.data())) + ")");
    }
    return {};
}

FirmwareFileFault readFirmwareFile(const std::string& path, FirmwareFile& out) {
    out = FirmwareFile{};
    std::string reason;
    const int fd = openRegularFile(path, reason);
    if (fd < 0) return fault(path, 0, "cannot open the file: " + reason);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        const int err = errno;
        ::close(fd);
        return fault(path, 0, std::string("cannot open the file: ") + std::strerror(err));
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n = 0;
    // One byte past the largest firmware file tells a longer one (or a device
    // that never ends) without reading it all.
    while (bytes.size() <= kLargestFirmwareFile &&
           (n = std::fread(chunk, 1, std::min(sizeof chunk, kLargestFirmwareFile + 1 - bytes.size()), f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) return fault(path, 0, std::string("cannot read the file: ") + std::strerror(err));
    if (bytes.size() > kLargestFirmwareFile)
        return fault(path, 0,
                     "the file is longer than the " + std::to_string(kLargestFirmwareFile) +
                         " bytes of the largest firmware file (65535 records): not a firmware file");
    return parseFirmwareFile(bytes, path, out);
}

}  // namespace halvek
