#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli monitor: connects as CONNECT does and prints one line per happening:
//   title: <window title>      command: <history name>     event: <event line>
//   message: <title>: <text>   state: <state name>
//   link: <what the link noticed>, and at the end what it dropped, retried and gave up
// Plain printable ASCII stays; every other byte is written as \xNN (tab, CR and
// LF as \t, \r, \n; the backslash stays, as the event texts escape their own).
std::string escapeForTerminal(const std::string& text);

int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
