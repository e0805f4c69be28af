#pragma once

#include <cstdint>

// The bits the simulated unit sets in its status bytes and its set-up byte.
// Written down here on their own, from the unit's side, and deliberately not
// taken from the host's names: a bit the two sides get wrong in the same way
// would otherwise never show in a test.
namespace halvek::sim {

namespace s0 {
constexpr uint8_t TypeOrReason = 0x1F;  // bill type (short frames) or rejection reason
constexpr uint8_t Escrow = 0x20;
constexpr uint8_t Stacked = 0x80;
}  // namespace s0

namespace s1 {
constexpr uint8_t Idle = 0x01;
constexpr uint8_t Accepting = 0x02;
constexpr uint8_t Returning = 0x04;
constexpr uint8_t Stacking = 0x08;
constexpr uint8_t Rejected = 0x10;
constexpr uint8_t PowerUp = 0x40;
}  // namespace s1

namespace s2 {
constexpr uint8_t BillJam = 0x01;
constexpr uint8_t StackerJam = 0x02;
constexpr uint8_t Detached = 0x04;
constexpr uint8_t Full = 0x08;
constexpr uint8_t PowerUpWithBill = 0x10;
constexpr uint8_t CommTimeout = 0x20;
constexpr uint8_t Disabled = 0x40;
constexpr uint8_t Inhibited = 0x80;
}  // namespace s2

// Rejection reasons the unit gives on its own (a scenario may give any).
namespace reason {
constexpr uint8_t DenominationDisabled = 0x08;
constexpr uint8_t UnableToEject = 0x0F;
constexpr uint8_t AllDisabled = 0x10;
}  // namespace reason

// The set-up byte as "read setup" reports it.
namespace setupbit {
constexpr uint8_t Sides = 0x01;
constexpr uint8_t Ways = 0x02;
constexpr uint8_t EscrowOn = 0x04;
constexpr uint8_t Interrupt = 0x08;
constexpr uint8_t StackerOptional = 0x10;
constexpr uint8_t PlateClosed = 0x20;
constexpr uint8_t Inhibit = 0x40;
}  // namespace setupbit

}  // namespace halvek::sim
