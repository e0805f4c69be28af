#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli watch --socket PATH [--since SEQ] [--json]: halvekd's events, one
// line each as the monitor prints its lines ("money: ...", "unit: ...",
// "link: ..."), or the daemon's JSON lines as they come. Runs until
// interrupted (exit 0) or until the daemon goes (exit 1).
int runWatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// halvek-cli decide EPISODE accept|return --socket PATH: decides a bill in
// escrow as halvekd's controller (refused while another program is the controller).
int runDecide(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
