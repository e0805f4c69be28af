#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli cassette read | write-id ID | clear: the cassette data window's
// commands, with the validator on a line or simulated.
int runCassette(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// halvek-cli ticket DIGITS --printer PATH: one bar-code ticket, the same bytes
// as the printer window's.
int runTicket(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
