#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli doctor [--port PATH | --com N]: checks why a port may not open or
// may run slowly. Exits 1 when a check failed.
int runDoctor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
