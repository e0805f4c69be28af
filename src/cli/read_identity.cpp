#include <cstdio>

#include "cli/read_targets.h"
#include "pages/identity/identity_view.h"

namespace halvek::cli {
namespace {

std::string serialText(const IdentityStore& id) {
    const auto& s = id.serialNumber;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X", s[0], s[1], s[2], s[3]);
    return buf;
}

// A BCD byte of the production date as its number; null for a byte that is no
// BCD (erased memory reads FF).
std::string bcdNumber(uint8_t b, int offset) {
    if ((b >> 4) > 9 || (b & 0x0F) > 9) return "null";
    return std::to_string(offset + (b >> 4) * 10 + (b & 0x0F));
}

}  // namespace

// As the Rev-Id and Factory pages show them; the burn cycles only in extended frames.
void printIdentity(const LinkController& link, std::ostream& out, bool json) {
    const IdentityStore& id = link.stores().identity;
    const bool burn = link.extendedMode();
    const std::string type = id.unitType() ? std::string(1, id.unitType()) : "";
    const std::pair<const char*, std::string> fields[] = {
        {"revision", escapeForTerminal(revisionText(id))},
        {"revision number", std::to_string(id.revisionNumber)},
        {"unit type", escapeForTerminal(type)},
        {"system id", systemIdText(id)},
        {"asset number", assetNumberText(id)},
        {"serial number", serialText(id)},
        {"factory number", factoryNumberText(id)},
        {"production date", productionDateText(id)},
        {"burn cycles", burn ? burnCyclesText(id) : ""},
    };
    if (json) {
        out << "{\"revision\":" << jsonString(revisionText(id)) << ",\"revisionNumber\":" << id.revisionNumber
            << ",\"unitType\":" << jsonString(type) << ",\"systemId\":" << jsonString(systemIdText(id))
            << ",\"assetNumber\":" << jsonString(assetNumberText(id))
            << ",\"serialNumber\":" << jsonString(serialText(id))
            << ",\"factoryNumber\":" << jsonString(factoryNumberText(id))
            << ",\"productionDate\":{\"week\":" << bcdNumber(id.productionDate[0], 0)
            << ",\"year\":" << bcdNumber(id.productionDate[1], 2000)
            << "},\"burnCycles\":" << (burn ? burnCyclesText(id) : "null") << "}\n";
        return;
    }
    for (const auto& [name, value] : fields) {
        if (std::string(name) == "burn cycles" && !burn) continue;
        out << name << std::string(17 - std::string(name).size(), ' ') << value << "\n";
    }
}

}  // namespace halvek::cli
