#pragma once

#include <string>

namespace halvek {

struct LinkCounters;

// What the link dropped, asked again and gave up, in one line for a
// technician: "3 frames dropped (2 bad checksums, 1 damaged), 1 retried, 0 given up".
// The parts in brackets are the kinds that happened, in a fixed order.
std::string linkCountersText(const LinkCounters& c);
// Whether the line has dropped, asked again or given up anything at all.
bool linkTroubleSeen(const LinkCounters& c);

}  // namespace halvek
