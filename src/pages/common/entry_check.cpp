#include "pages/common/entry_check.h"

#include <cstdio>

namespace halvek {

EntryCheck checkEntry(const std::string& text, uint32_t lowest, uint32_t highest) {
    const size_t from = text.find_first_not_of(' ');
    const size_t to = text.find_last_not_of(' ');
    const std::string digits = from == std::string::npos ? "" : text.substr(from, to - from + 1);
    char range[96];
    std::snprintf(range, sizeof range, kOutOfRangeFormat, lowest, highest);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return {std::nullopt, kNotAPositiveInteger};
    // A number too long for any box is simply out of its range.
    const size_t significant = digits.find_first_not_of('0');
    if (significant != std::string::npos && digits.size() - significant > 9) return {std::nullopt, range};
    const auto value = static_cast<uint32_t>(std::stoul(digits));
    if (value < lowest || value > highest) return {std::nullopt, range};
    return {value, ""};
}

uint8_t toBcd2(uint32_t n) { return static_cast<uint8_t>((n / 10 % 10) << 4 | n % 10); }

std::array<uint8_t, 2> toBcd4(uint32_t n) { return {toBcd2(n / 100), toBcd2(n % 100)}; }

}  // namespace halvek
