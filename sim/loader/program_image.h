#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"

namespace halvek::sim {

// The simulated unit's program, kept in the firmware file's own layout so that
// its checksum, its upload and a downloaded file can be compared byte for
// byte. Generated: no program of any real unit is used.
namespace program {

constexpr size_t kRevision = 8;  // eight characters of the program revision in the header
constexpr uint8_t kRecordLead = 0x00;

// Block address of block k of sector s: 4 KB sectors of 32 blocks of 128 bytes.
inline uint32_t blockAddress(uint32_t sector, uint32_t k) { return sector << 12 | k << 7; }

// A program of the given sectors (sector-map layout, or counted "M" layout),
// its data a deterministic function of the seed.
FirmwareFile generate(const std::vector<uint8_t>& sectors, const std::string& revision, bool counted = false,
                      uint32_t seed = 0x2545F491);
// The default program of a simulated unit: 4 sectors, 128 blocks.
FirmwareFile standard(const std::string& revision);
std::string revisionOf(const FirmwareHeader& header);
// A record made from a block address and its data (lead byte and check filled in).
FirmwareRecord makeRecord(uint32_t address, const uint8_t* data);

// What the unit sends for "Upload Firmware": the header frame (132 bytes in
// standard frames, 135 in extended ones, the header at its end), then every
// record as a 133-byte packet. Packet number corrupt (1-based, 0 = none) is
// sent with one data byte changed, so that its check fails.
std::vector<std::vector<uint8_t>> uploadStream(const FirmwareFile& program, bool extended, uint32_t corrupt);

}  // namespace program
}  // namespace halvek::sim
