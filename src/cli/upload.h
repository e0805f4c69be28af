#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli upload FILE (--port PATH | --com N | --simulate): reads the unit's
// program into FILE, which appears only once every packet has passed its check.
// Exit codes: 0 done, 1 failed (the reason on the last line), 2 bad command line.
int runUpload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
