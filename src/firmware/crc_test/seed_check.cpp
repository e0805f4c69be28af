#include "firmware/crc_test/seed_check.h"

namespace halvek {
namespace {

bool readBox(std::string& text, uint16_t& value) {
    if (text.empty()) text = "0000";
    if (text.size() > 4) return false;
    unsigned v = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            v = v * 16 + static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
    }
    text.insert(0, 4 - text.size(), '0');
    value = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

SeedCheck checkSeeds(const std::string& lowText, const std::string& highText, bool wide) {
    SeedCheck c;
    c.low = lowText;
    c.high = highText;
    uint16_t low = 0, high = 0;
    c.valid = readBox(c.low, low) && (!wide || readBox(c.high, high));
    if (!c.valid) return c;
    c.seeds.seed16 = low;
    c.seeds.seed32 = static_cast<uint32_t>(high) << 16 | low;
    return c;
}

}  // namespace halvek
