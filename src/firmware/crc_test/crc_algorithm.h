#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace halvek {

enum class CrcAlgorithm : uint8_t { Crc16 = 0, Ccitt = 1, Crc32 = 2 };

struct CrcAlgorithmInfo {
    CrcAlgorithm algorithm;
    const char* caption;  // the radio button
    const char* name;     // the console tool's --algorithm
    uint16_t polynomial;  // of the 16-bit ones, as "Run CRC 16" sends it
    bool wide;            // 32 bits
};

constexpr std::array<CrcAlgorithmInfo, 3> kCrcAlgorithms = {{
    {CrcAlgorithm::Crc16, "CRC_16", "crc16", 0x8005, false},
    {CrcAlgorithm::Ccitt, "CC_ITT", "ccitt", 0x1021, false},
    {CrcAlgorithm::Crc32, "CRC_32", "crc32", 0, true},
}};

inline const CrcAlgorithmInfo& crcInfo(CrcAlgorithm a) { return kCrcAlgorithms[static_cast<size_t>(a)]; }

// The seeds as the page's two boxes give them.
struct CrcSeeds {
    uint16_t seed16 = 0;
    uint32_t seed32 = 0;
};

// "%04X" for the 16-bit algorithms, "%08X" for CRC_32.
std::string formatCrc(CrcAlgorithm a, uint32_t value);

// Runs every byte of the file, header included, through the algorithm from
// its seed. False with the operating system's reason when the file cannot be read.
bool fileCrc(const std::string& path, CrcAlgorithm a, const CrcSeeds& seeds, uint32_t& result, std::string& reason);

}  // namespace halvek
