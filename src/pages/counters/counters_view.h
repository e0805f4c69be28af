#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pages/counters/counters_store.h"

namespace halvek {

// Which counts the list shows: the radio buttons of "Select Count:".
enum class CounterSelection : uint8_t { Qrv = 0, Life = 1, LastFive = 2 };

namespace counterstext {
inline constexpr const char* kTypeColumn = "Type";
inline constexpr const char* kCountColumn = "Count";
inline constexpr const char* kSelectGroup = "Select Count:";
inline constexpr const char* kQrv = "QRV bill cnt";
inline constexpr const char* kLife = "Life count";
inline constexpr const char* kLastFive = "Last Five";
inline constexpr const char* kRead = "Read Count";
inline constexpr const char* kClear = "Clear Count";
inline constexpr const char* kClearAll = "CLEAR ALL";
inline constexpr const char* kOnlyExtended = "Available only in Q7E mode";
// A count the unit holds as erased memory (0xFFFFFE or more): shown as unknown, never as a number.
inline constexpr const char* kUnknown = "????????";
}  // namespace counterstext

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kCountersBackground{68, 68, 68};
inline constexpr Rgb kQrvColour{255, 255, 0}, kLifeColour{255, 255, 255}, kLastFiveColour{0, 255, 255};

inline constexpr size_t kCounterRows = 64;
inline constexpr uint32_t kFirstUnknownCount = 0xFFFFFE;

struct CounterRow {
    std::string type;
    std::string count;
};

// Everything the list shows for a selection: every row is written, so that no
// row keeps a count of another selection.
struct CountersView {
    std::array<CounterRow, kCounterRows> rows;
    Rgb colour;
};

CountersView countersView(const CounterStore& counters, CounterSelection selection);
// A count as the list shows it: eight digits, or the unknown mark.
std::string countText(uint32_t count);

}  // namespace halvek
