#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <span>

#include "link/link_controller.h"

namespace halvek::cli {

// One kind of data `halvek-cli read` can fetch: the commands that bring it
// (ended by a 0) and how its view is printed, as aligned text or one JSON object.
struct ReadTarget {
    const char* name;
    const char* what;  // one line for the usage text
    std::array<uint8_t, 4> codes;
    void (*print)(const LinkController& link, std::ostream& out, bool json);
    uint8_t diagnosticsSelector = kSensorSelector;  // what "read diagn.(0)" asks for
};

std::span<const ReadTarget> readTargets();

// Printers, one file per page.
void printBills(const LinkController& link, std::ostream& out, bool json);
void printVideo(const LinkController& link, std::ostream& out, bool json);

// A JSON string literal of s (quotes, backslashes and control bytes escaped).
std::string jsonString(const std::string& s);

}  // namespace halvek::cli
