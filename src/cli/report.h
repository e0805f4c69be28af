#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli report: reads what the chosen parts need from the validator, waits
// for the replies, and writes the diagnostics report to the file given.
// 0: written; 1: the unit did not answer, or the file could not be written;
// 2: a bad command line.
int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
