#include "program_image.h"

#include <algorithm>

namespace halvek::sim::program {

FirmwareRecord makeRecord(uint32_t address, const uint8_t* data) {
    FirmwareRecord r;
    r.bytes[0] = kRecordLead;
    r.bytes[1] = static_cast<uint8_t>(address >> 16);
    r.bytes[2] = static_cast<uint8_t>(address >> 8);
    r.bytes[3] = static_cast<uint8_t>(address);
    std::copy(data, data + kFirmwareBlockSize, r.bytes.begin() + FirmwareRecord::kData);
    r.bytes[FirmwareRecord::kCheck] = recordCheck(r.bytes.data());
    return r;
}

FirmwareFile generate(const std::vector<uint8_t>& sectors, const std::string& revision, bool counted, uint32_t seed) {
    FirmwareFile f;
    auto& h = f.header.bytes;
    const char magic[] = "HALVSIM";
    std::copy(magic, magic + 7, h.begin());
    h[FirmwareHeader::kFormatLetter] = counted ? FirmwareHeader::kCountedLayout : 'S';
    for (size_t i = 0; i < kRevision; ++i)  // the revision text's characters, as bytes
        h[kRevision + i] = static_cast<uint8_t>(i < revision.size() ? revision[i] : ' ');
    std::fill(h.begin() + FirmwareHeader::kSectorMap,
              h.begin() + FirmwareHeader::kSectorMap + FirmwareHeader::kSectorMapSize, FirmwareHeader::kMapEnd);
    std::copy(sectors.begin(), sectors.begin() + static_cast<long>(std::min<size_t>(sectors.size(), 90)),
              h.begin() + FirmwareHeader::kSectorMap);
    const auto count = static_cast<uint32_t>(sectors.size() * FirmwareHeader::kRecordsPerSector);
    if (counted) {
        h[FirmwareHeader::kRecordCount] = static_cast<uint8_t>(count);
        h[FirmwareHeader::kRecordCount + 1] = static_cast<uint8_t>(count >> 8);
    }
    uint32_t x = seed ? seed : 1;
    uint8_t data[kFirmwareBlockSize];
    for (uint8_t s : sectors) {
        for (uint32_t k = 0; k < FirmwareHeader::kRecordsPerSector; ++k) {
            for (uint8_t& b : data) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                b = static_cast<uint8_t>(x);
            }
            f.records.push_back(makeRecord(blockAddress(s, k), data));
        }
    }
    return f;
}

FirmwareFile standard(const std::string& revision) { return generate({0, 1, 2, 3}, revision); }

std::string revisionOf(const FirmwareHeader& header) {
    return std::string(header.bytes.begin() + kRevision, header.bytes.begin() + 2 * kRevision);
}

std::vector<std::vector<uint8_t>> uploadStream(const FirmwareFile& program, bool extended, uint32_t corrupt) {
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> first;
    if (extended)
        first = {0x02, 0x00, 0x00, 0x87, 0x60, 0x00, 0x00};
    else
        first = {0x02, 0x84, 0x60, 0x00};
    first.insert(first.end(), program.header.bytes.begin(), program.header.bytes.end());
    out.push_back(std::move(first));
    uint32_t n = 0;
    for (const FirmwareRecord& r : program.records) {
        std::vector<uint8_t> packet(r.bytes.begin(), r.bytes.end());
        if (++n == corrupt) packet[FirmwareRecord::kData + 5] ^= 0x5A;
        out.push_back(std::move(packet));
    }
    return out;
}

}  // namespace halvek::sim::program
