#include "pages/escrow/escrow_view.h"

#include <cstdio>

namespace halvek {

std::string billInEscrowText(const EscrowSettings& e) {
    if (!e.billInEscrow) return escrowtext::kNoBill;
    char buf[48];
    std::snprintf(buf, sizeof buf, escrowtext::kBillFormat, e.escrowValue);
    return buf;
}

}  // namespace halvek
