#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli read TARGET [--json] (--port PATH | --com N | --simulate): connects,
// asks for that data, waits for the answer and prints it. Exit codes: 0 printed,
// 1 no line or no answer, 2 a bad command line.
int runRead(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
