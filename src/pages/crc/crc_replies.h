#pragma once

#include "pages/crc/crc_store.h"
#include "protocol/reply.h"

namespace halvek {

// The validator's program checksums, most significant byte first.
void storeCrc16(CrcStore& crc, const Reply& r);
void storeCrc32(CrcStore& crc, const Reply& r);

}  // namespace halvek
