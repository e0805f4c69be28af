#include "protocol/catalogue.h"

#include <algorithm>
#include <array>

namespace halvek {
namespace {

constexpr bool W = true;  // awaits its reply
constexpr bool D = true;  // carries data

constexpr CommandInfo kCatalogue[] = {
    {0x30, "clear prod.date", false, false},
    {0x31, "clear ser.num.", false, false},
    {0x32, "clear stats", false, false},
    {0x34, "clear life count", false, false},
    {0x35, "restore defaults", false, false},
    {0x36, "reset system", false, false},
    {0x37, "clear bill counter", false, false},
    {0x38, "clear QRV counter", false, false},
    {0x40, "set mode: %s - %s", false, D},
    {0x41, "set bill enable", false, D},
    {0x43, "set note cfg: %s - %s", false, D},
    {0x44, "set prod date.", false, D},
    {0x45, "set stacker optional", false, false},
    {0x46, "set stacker required", false, false},
    {0x47, "set fact.num.", false, D},
    {0x48, "set cass.plate open", false, false},
    {0x49, "set cass.plate closed", false, false},
    {0x4A, "disable L2 sec.", false, false},
    {0x4B, "enable L2 sec.", false, false},
    {0x4C, "cycle stacker", false, false},
    {0x4D, "read stacker sensor", W, false},
    {0x50, "set sys id", false, D},
    {0x51, "set RTC", false, D},
    {0x60, "Upload Firmware", W, false},
    {0x61, "Download Firmware", false, false},
    {0x62, "Run CRC 16", false, D},
    {0x63, "Read CRC 16", false, false},
    {0x64, "Run CRC 32", false, D},
    {0x65, "Read CRC 32", false, false},
    {0x66, "request VLA", false, false},
    {0x80, "escrow accept", false, false},
    {0x81, "escrow return", false, false},
    {0x82, "restart escrow", false, false},
    {0xC0, "read op. mode", W, false},
    {0xC1, "read bill enable", W, false},
    {0xC2, "read sec.level", W, false},
    {0xC3, "read note cfg.", W, false},
    {0xC4, "read vdo", W, false},
    {0xD0, "read system id", W, false},
    {0xD1, "read RTC", W, false},
    {0xD2, "read ser.num", W, false},
    {0xD3, "read asset num.", W, false},
    {0xD4, "read fact.num.", W, false},
    {0xD5, "read prod.date", W, false},
    {0xD6, "set accept all mode: %d sec", false, D},
    {0xD7, "read burn cycles", W, false},
    {0xD8, "read prog.rev.", W, false},
    {0xD9, "read last five", W, false},
    {0xDA, "read bill counter", W, false},
    {0xDB, "read cass.fault buf.     (0xDB)", W, false},
    {0xDC, "read cass.bill buf.       (0xDC)", W, false},
    {0xDD, "read stats", W, false},
    {0xDE, "read 1K stats", W, false},
    {0xDF, "read QRV bill count", W, false},
    {0xE0, "read setup (nv)", W, false},
    {0xE1, "read setup", W, false},
    {0xE2, "read unit opt.", W, false},
    {0xE3, "read ind.counter", W, false},
    {0xE4, "read barcode counter", W, false},
    {0xE5, "read credit table", W, D},
    {0xE6, "read dip switch", W, false},
    {0xE7, "read diagn.(0)", W, D},
    {0xE8, "read diagn.(1)", W, false},
    {0xE9, "read diagn.(2)", W, false},
    {0xEA, "read diagn.(3)", W, false},
    {0xEF, "read recog.algo.", W, false},
    {0xF0, "inhibit unit", false, false},
    {0xF1, "un-inhibit unit", false, false},
    {0xF3, "save setup", false, false},
    {0xF6, "write cassette ID         (0xF6)", false, D},
    {0xF7, "erase SDA data            (0xF7)", false, false},
    {0xF8, "read cassette ID         (0xF8)", W, false},
};

constexpr bool sortedByCode() {
    for (size_t i = 1; i < std::size(kCatalogue); ++i)
        if (kCatalogue[i - 1].code >= kCatalogue[i].code) return false;
    return true;
}
static_assert(sortedByCode(), "the catalogue is looked up by binary search");

}  // namespace

std::span<const CommandInfo> catalogue() { return kCatalogue; }

const CommandInfo* findCommand(uint8_t code) {
    auto it = std::lower_bound(std::begin(kCatalogue), std::end(kCatalogue), code,
                               [](const CommandInfo& c, uint8_t v) { return c.code < v; });
    return (it != std::end(kCatalogue) && it->code == code) ? &*it : nullptr;
}

}  // namespace halvek
