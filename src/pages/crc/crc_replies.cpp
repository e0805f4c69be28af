#include "pages/crc/crc_replies.h"

namespace halvek {

void storeCrc16(CrcStore& crc, const Reply& r) {
    crc.result16 = r.data16(0);
    crc.lastRead = r.code();
}
void storeCrc32(CrcStore& crc, const Reply& r) {
    crc.result32 = static_cast<uint32_t>(r.data16(0)) << 16 | r.data16(2);
    crc.lastRead = r.code();
}

}  // namespace halvek
