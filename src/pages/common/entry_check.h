#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace halvek {

// What the number boxes of the pages accept: an unsigned whole number within
// bounds. A refusal carries the dialog framework's own wording, with the
// bounds filled in.
struct EntryCheck {
    std::optional<uint32_t> value;  // none: refused
    std::string message;            // why, when refused
};

inline constexpr const char* kNotAPositiveInteger = "Please enter a positive integer.";
inline constexpr const char* kOutOfRangeFormat = "Please enter an integer between %u and %u.";

EntryCheck checkEntry(const std::string& text, uint32_t lowest, uint32_t highest);

// A number 0-99 as two BCD digits (tens in the high nibble).
uint8_t toBcd2(uint32_t n);
// A number 0-9999 as four BCD digits in two bytes, thousands and hundreds first.
std::array<uint8_t, 2> toBcd4(uint32_t n);

}  // namespace halvek
