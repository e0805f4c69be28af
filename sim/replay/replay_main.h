#pragma once

#include <string>

namespace halvek::sim {

struct ReplayOptions {
    std::string file;  // the capture file
    std::string link;  // a symbolic link to make to the device, or empty
    bool quiet = false;
    bool keepTime = false;
};

// halvek-sim --replay FILE: serves the captured unit until stopped (Ctrl-C).
// Returns the program's exit status.
int runReplay(const ReplayOptions& options);

}  // namespace halvek::sim
