#pragma once

#include <cinttypes>
#include <string>

#include "pages/escrow/escrow_store.h"

namespace halvek {

namespace escrowtext {
inline constexpr const char* kActionGroup = "Escrow action:";
inline constexpr const char* kExpirationGroup = "Expiration Time:";
inline constexpr const char* kAccept = "Accept";
inline constexpr const char* kReturn = "Return";
inline constexpr const char* kAutoAccept = "Auto Acc.";
inline constexpr const char* kCreditLimit = "Credit Limit";
inline constexpr const char* kReset = "Reset";
inline constexpr const char* kDefaultExpiration = "Default 10 sec";
inline constexpr const char* kUnlimited = "Unlimited";
inline constexpr const char* kNoBill = "no bill in escrow";
inline constexpr const char* kBillFormat = "in escrow: %" PRId64;  // the value is 64-bit money
}  // namespace escrowtext

// The credit limit a fresh page starts from, and the bounds of its box.
inline constexpr int kCreditLimitDefault = 9999, kCreditLimitMax = 9999;
// Keep-alive periods: when "Unlimited" is chosen, and when a page opens with it chosen.
inline constexpr int kKeepAliveMs = 3000, kKeepAliveReopenMs = 5000;

// "Accept" is offered while the user decides and a bill waits to be decided on.
inline bool acceptEnabled(const EscrowSettings& e) { return !e.autoAccept && e.billInEscrow; }
// A keep-alive tick restarts the unit's escrow time-out only for a bill in escrow.
inline bool keepAliveRestarts(const EscrowSettings& e) { return !e.defaultExpiration && e.billInEscrow; }

// What the page says about the bill now held: its value, or that there is none.
std::string billInEscrowText(const EscrowSettings& e);

}  // namespace halvek
