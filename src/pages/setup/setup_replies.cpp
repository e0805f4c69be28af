#include "pages/setup/setup_replies.h"

#include "protocol/status_bits.h"

namespace halvek {

uint8_t storeSetup(SetupSwitches& s, const Reply& r) {
    const uint8_t b = r.data(0);
    s.sides = b & setupbit::kOneSide;
    s.ways = b & setupbit::kOneWay;
    s.escrow = b & setupbit::kEscrowOn;
    s.stacker = b & setupbit::kStackerOptional;
    s.plate = b & setupbit::kPlateClosed;
    s.inhibit = b & setupbit::kInhibit;
    s.orientation = b & setupbit::kReverse;
    return b;
}

}  // namespace halvek
