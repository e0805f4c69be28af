#pragma once

#include "pages/setup/setup_store.h"
#include "protocol/reply.h"

namespace halvek {

// The set-up byte into the switches; returns the byte (its bit 3, the system
// mode, belongs to the link and is not kept here).
uint8_t storeSetup(SetupSwitches& setup, const Reply& r);

}  // namespace halvek
