#include "pages/identity/identity_replies.h"

namespace halvek {

void storeSystemId(IdentityStore& id, const Reply& r) { r.copyData(id.systemId); }
void storeSerialNumber(IdentityStore& id, const Reply& r) { r.copyData(id.serialNumber); }
void storeAssetNumber(IdentityStore& id, const Reply& r) { r.copyData(id.assetNumber); }
void storeFactoryNumber(IdentityStore& id, const Reply& r) { r.copyData(id.factoryNumber); }
void storeProductionDate(IdentityStore& id, const Reply& r) { r.copyData(id.productionDate); }

void storeBurnCycles(IdentityStore& id, const Reply& r) {
    // Low byte first; the unit's count is signed (-1 for none).
    const uint32_t raw =
        uint32_t{r.data(0)} | uint32_t{r.data(1)} << 8 | uint32_t{r.data(2)} << 16 | uint32_t{r.data(3)} << 24;
    id.burnCycles = static_cast<int32_t>(raw);
}

uint16_t storeRevision(IdentityStore& id, const Reply& r) {
    for (size_t i = 0; i < 8; ++i) id.revision[i] = static_cast<char>(r.data(i));
    id.revision[8] = '\0';
    auto digit = [&](size_t i) { return id.revision[i] >= '0' && id.revision[i] <= '9' ? id.revision[i] - '0' : 0; };
    id.revisionNumber = static_cast<uint16_t>(100 * digit(5) + 10 * digit(6) + digit(7));
    return id.revisionNumber;
}

bool diagnosticsAvailableFor(uint16_t revisionNumber) { return !(revisionNumber > 100 && revisionNumber < 200); }

}  // namespace halvek
