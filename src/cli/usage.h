#pragma once

#include <ostream>
#include <string>

#include "host/line_options.h"

namespace halvek::cli {

// The exit codes every console command keeps, as its --help lists them: 0 done,
// 1 failed with the reason on stderr, 2 a bad command line with the usage on
// stderr. failed says what 1 means for the command.
std::string exitCodes(const std::string& failed = "failed");

// What an option with a missing or bad value is told (one wording for the link's options and the command's).
using halvek::badValue;

// A bad command line: "halvek-cli COMMAND: what" and the usage, both on err.
// Returns 2, the exit code every command gives it.
int usageError(std::ostream& err, const std::string& command, const std::string& what, const std::string& usage);

}  // namespace halvek::cli
