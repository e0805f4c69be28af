#pragma once

#include <string>
#include <utility>
#include <vector>

namespace halvek::ui {

// The window program's command line, read before Qt starts so that a wrong
// option or a missing display is told plainly instead of by Qt's abort.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string error;  // what was wrong, for Action::Error
    std::vector<std::pair<int, std::string>> comPaths;
    bool simulate = false;
    int simBills = 30;  // --sim-bills: seconds between the demo's bills, 0 = only by hand
    bool connect = false;
    std::string journalPath;    // --journal FILE: the money journal
    std::string platform;       // Qt's -platform option, if given
    bool displayGiven = false;  // Qt's -display option
};

extern const char* const kUsage;

CommandLine parseCommandLine(int argc, const char* const* argv);

// Whether Qt will find a display: a platform named on the command line or in
// QT_QPA_PLATFORM that needs none (offscreen, vnc, ...), else an X or Wayland
// display. Null pointers stand for unset variables.
bool displayAvailable(const CommandLine& line, const char* qpaPlatform, const char* display, const char* wayland);

}  // namespace halvek::ui
