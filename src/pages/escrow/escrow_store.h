#pragma once

#include <cstdint>

namespace halvek {

struct EscrowSettings {
    bool autoAccept = true;
    bool creditLimitOn = false;
    int32_t creditLimit = 9999;
    int32_t creditTotal = 0;
    bool defaultExpiration = true;
    bool billInEscrow = false;
    int32_t escrowValue = 0;
};

}  // namespace halvek
