#pragma once

#include <cstdint>

namespace halvek {

struct EscrowSettings {
    bool autoAccept = true;
    bool creditLimitOn = false;
    // Money is counted in 64 bits: a bill value can be as large as a 32-bit number.
    int64_t creditLimit = 9999;
    // The settlement machine's credit total as last told: the link keeps it, a
    // page only shows it (the technician's reset goes through the link).
    int64_t creditTotal = 0;
    bool defaultExpiration = true;
    bool billInEscrow = false;
    int64_t escrowValue = 0;
};

}  // namespace halvek
