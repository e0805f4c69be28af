#pragma once

#include <array>
#include <string_view>

namespace halvek {

// What each cassette fault event means. Entry k describes event k + 1; every
// text is 29 characters, the words padded with blanks, and is drawn whole.
constexpr size_t kCassetteEvents = 20;
constexpr size_t kEventDescriptionWidth = 29;
const std::array<std::string_view, kCassetteEvents>& cassetteEventDescriptions();

}  // namespace halvek
