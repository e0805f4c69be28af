#include "firmware/crc_test/crc_algorithm.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "firmware/crc.h"
#include "firmware/regular_file.h"

namespace halvek {

std::string formatCrc(CrcAlgorithm a, uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, crcInfo(a).wide ? "%08X" : "%04X", static_cast<unsigned>(value));
    return text;
}

bool fileCrc(const std::string& path, CrcAlgorithm a, const CrcSeeds& seeds, uint32_t& result, std::string& reason) {
    // Only a plain file has an end to read to: /dev/zero would be read for ever.
    const int fd = openRegularFile(path, reason);
    if (fd < 0) return false;
    const CrcAlgorithmInfo& info = crcInfo(a);
    uint16_t reg16 = seeds.seed16;
    uint32_t reg32 = seeds.seed32;
    std::vector<uint8_t> block(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            reason = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        const std::span<const uint8_t> bytes(block.data(), static_cast<size_t>(n));
        if (info.wide)
            reg32 = crc32Update(reg32, bytes);
        else
            reg16 = crc16Update(info.polynomial, reg16, bytes);
    }
    ::close(fd);
    result = info.wide ? ~reg32 : reg16;
    return true;
}

}  // namespace halvek
