#pragma once

#include "pages/identity/identity_store.h"
#include "protocol/reply.h"

namespace halvek {

// How the replies of this page's data are stored: pure functions of the reply
// and the store, so that each layout is checked without a line or a controller.
void storeSystemId(IdentityStore& identity, const Reply& r);
void storeSerialNumber(IdentityStore& identity, const Reply& r);
void storeAssetNumber(IdentityStore& identity, const Reply& r);
void storeFactoryNumber(IdentityStore& identity, const Reply& r);
void storeProductionDate(IdentityStore& identity, const Reply& r);
// An unsigned 32-bit count, least significant byte first.
void storeBurnCycles(IdentityStore& identity, const Reply& r);
// Returns the revision number (characters 6-8) and stores the text.
uint16_t storeRevision(IdentityStore& identity, const Reply& r);
// Firmware revisions 101 to 199 cannot deliver the diagnostics reads.
bool diagnosticsAvailableFor(uint16_t revisionNumber);

}  // namespace halvek
