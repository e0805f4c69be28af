#include "pages/optics/optics_replies.h"

namespace halvek {

bool storeOptics(OpticsStore& o, bool l8v, const Reply& r) {
    if (r.dataCount() < kOpticsReplyBytes) return false;
    for (size_t i = 0; i < 28; ++i) {
        const size_t ch = i / 4, col = i % 4;
        o.reflWhite[ch][col] = r.data(i);
        o.transWhite[ch][col] = r.data(28 + i);
        o.reflBlack[ch][col] = r.data(56 + i);
        o.transBlack[ch][col] = r.data(84 + i);
        // The L8 sends the high part of a transmissive gain in the upper four bits of its first byte.
        const uint8_t p = r.data(168 + 2 * i), q = r.data(169 + 2 * i);
        o.transGain[ch][col] = static_cast<uint16_t>((l8v ? p : p >> 4) * 256 + q);
        o.reflGain[ch][col] = r.data16(224 + 2 * i);
        o.transEmitter[ch][col] = r.data(281 + 2 * i);
        o.reflEmitter[ch][col] = r.data(337 + 2 * i);
    }
    o.received = true;
    return true;
}

}  // namespace halvek
