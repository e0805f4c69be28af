#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli ports [--json]: the machine's serial devices, with their by-id names.
int runPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
