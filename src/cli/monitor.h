#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/terminal_text.h"

namespace halvek::cli {

// halvek-cli monitor: connects as CONNECT does and prints one line per happening:
//   title: <window title>      command: <history name>     event: <event line>
//   message: <title>: <text>   state: <state name>
//   link: <what the link noticed>, and at the end what it dropped, retried and gave up
// Every text goes through escapeForTerminal.
int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same with the lines written to linesFd through the bounded queue (out
// takes only the usage text). Lines the descriptor did not take are counted and
// said on err at the end, and the run exits 1.
int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, int linesFd);

}  // namespace halvek::cli
