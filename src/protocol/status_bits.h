#pragma once

#include <cstdint>

namespace halvek {

// The bits of the six status bytes S0-S5 the validator answers a poll with.
namespace status {

// S0: bill type (standard layout) or rejection reason in bits 0-4.
constexpr uint8_t kTypeOrReasonMask = 0x1F;
constexpr uint8_t kEscrow = 0x20;
constexpr uint8_t kStacked = 0x80;

// S1: what the validator is doing.
constexpr uint8_t kIdle = 0x01;
constexpr uint8_t kAccepting = 0x02;
constexpr uint8_t kReturning = 0x04;
constexpr uint8_t kStacking = 0x08;
constexpr uint8_t kRejected = 0x10;
constexpr uint8_t kPowerUp = 0x40;

// S2: faults of the bill path and the stacker, and the unit's enable state.
constexpr uint8_t kBillJam = 0x01;
constexpr uint8_t kStackerJam = 0x02;
constexpr uint8_t kStackerDetached = 0x04;
constexpr uint8_t kStackerFull = 0x08;
constexpr uint8_t kPowerUpWithBill = 0x10;
constexpr uint8_t kCommTimeout = 0x20;
constexpr uint8_t kDisabled = 0x40;
constexpr uint8_t kInhibited = 0x80;

// S3 (extended layout): the bill type. S4 bit 0: no escrow event for the escrow bit.
constexpr uint8_t kNoEscrowEvent = 0x01;

// Rejection reasons (S0 bits 0-4 while S1 says rejected) the host reacts to.
constexpr uint8_t kReasonFailedOptical = 0x07;
constexpr uint8_t kReasonStringing = 0x0E;

}  // namespace status

// The set-up byte ("read setup" reply and the set-up switches).
namespace setupbit {
constexpr uint8_t kOneSide = 0x01, kOneWay = 0x02, kEscrowOn = 0x04, kInterrupt = 0x08, kStackerOptional = 0x10,
                  kPlateClosed = 0x20, kInhibit = 0x40, kReverse = 0x80;
}

}  // namespace halvek
