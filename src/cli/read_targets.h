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
    // Why the data cannot be read on this link ("" or nullptr: they can); asked before reading.
    const char* (*unreadable)(const LinkController& link) = nullptr;
    // Whether the replies brought usable data (a reply too short for its layout
    // stores nothing); asked after reading. nullptr: every reply does.
    bool (*stored)(const LinkController& link) = nullptr;
    uint8_t diagnosticsSelector = kSensorSelector;  // what "read diagn.(0)" asks for
};

std::span<const ReadTarget> readTargets();

// Printers, one file per page.
void printBills(const LinkController& link, std::ostream& out, bool json);
void printStatistics(const LinkController& link, std::ostream& out, bool json);
void printSensors(const LinkController& link, std::ostream& out, bool json);
void printOptics(const LinkController& link, std::ostream& out, bool json);
const char* opticsUnreadable(const LinkController& link);
void printVideo(const LinkController& link, std::ostream& out, bool json);

// A JSON string literal of s (quotes, backslashes and control bytes escaped).
std::string jsonString(const std::string& s);

}  // namespace halvek::cli
