#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli capture FILE: polls as the monitor does and writes every frame
// to FILE in the window's capture format, until the time is up, the file
// reaches its limit, or the run is interrupted.
int runCapture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
