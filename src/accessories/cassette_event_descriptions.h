#pragma once

#include <array>
#include <string_view>

#include "pages/common/event_descriptions.h"

namespace halvek {

// What each cassette fault event means. Entry k describes event k + 1; every
// text is 29 characters, the words padded with blanks, and is drawn whole.
// The table itself is kept with the statistics events it shares all but its first entry with.
constexpr size_t kCassetteEvents = kEventKinds;
const std::array<std::string_view, kCassetteEvents>& cassetteEventDescriptions();

}  // namespace halvek
