#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <span>

#include "cli/terminal_text.h"
#include "link/link_controller.h"

namespace halvek::cli {

// One kind of data `halvek-cli read` can fetch: the commands that bring it
// (ended by a 0) and how its view is printed, as aligned text or one JSON object.
struct ReadTarget {
    const char* name;
    const char* what;  // one line for the usage text
    std::array<uint8_t, 8> codes;
    void (*print)(const LinkController& link, std::ostream& out, bool json);
    // Why the data cannot be read on this link ("" or nullptr: they can); asked before reading.
    const char* (*unreadable)(const LinkController& link) = nullptr;
    // Whether the replies brought usable data (a reply too short for its layout
    // stores nothing); asked after reading. nullptr: every reply does.
    bool (*stored)(const LinkController& link) = nullptr;
    uint8_t diagnosticsSelector = kSensorSelector;  // what "read diagn.(0)" asks for
};

// Reads that a unit answers only in extended frames: left out in standard mode.
bool extendedOnly(uint8_t code);

std::span<const ReadTarget> readTargets();

// Printers, one file per page.
void printBills(const LinkController& link, std::ostream& out, bool json);
void printStatistics(const LinkController& link, std::ostream& out, bool json);
void printSensors(const LinkController& link, std::ostream& out, bool json);
void printOptics(const LinkController& link, std::ostream& out, bool json);
const char* opticsUnreadable(const LinkController& link);
void printVideo(const LinkController& link, std::ostream& out, bool json);
void printSetup(const LinkController& link, std::ostream& out, bool json);
void printCounters(const LinkController& link, std::ostream& out, bool json);
void printIdentity(const LinkController& link, std::ostream& out, bool json);
void printRtc(const LinkController& link, std::ostream& out, bool json);
// "Real Time Clock not available" for a unit type without a clock.
const char* rtcUnavailable(const LinkController& link);

}  // namespace halvek::cli
