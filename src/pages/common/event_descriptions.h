#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace halvek {

// The validator counts twenty kinds of events; entry k describes event number k + 1.
constexpr size_t kEventKinds = 20;
// Every description is this wide, padded with spaces, and is drawn and printed
// with its padding: reports compared by tool depend on it.
constexpr size_t kEventDescriptionWidth = 29;

using EventDescriptionTable = std::array<std::string_view, kEventKinds>;

// The statistics events, as the Statistics page and the diagnostics report show them.
extern const EventDescriptionTable EventDescriptions;
// The same events in a cassette's fault record, whose first entry is its own.
extern const EventDescriptionTable CassetteEventDescriptions;

}  // namespace halvek
