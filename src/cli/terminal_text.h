#pragma once

#include <string>

#include "host/terminal_text.h"

namespace halvek::cli {

// The console writes what it did not make itself as the host programs do.
using halvek::escapeForTerminal;
using halvek::shownMessage;

// A JSON string literal of s. Every --json output writes a string the same way:
// the text the plain output shows (escapeForTerminal), quoted, so a byte of the
// unit reads "\\x1B" in both, JSON stays plain ASCII, and `jq -r` cannot hand a
// raw control byte to a terminal either.
std::string jsonString(const std::string& s);

}  // namespace halvek::cli
