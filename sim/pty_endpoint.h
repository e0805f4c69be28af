#pragma once

#include <string>

namespace halvek::sim {

// The far end of a simulated line: a raw pseudo-terminal at 9600 baud whose
// master the simulator serves (non-blocking) and whose slave path a host opens
// like a real device, plus an eventfd that wakes the serving thread.
struct PtyEndpoint {
    int master = -1;
    int slave = -1;  // kept open so the master never sees a hang-up between host sessions
    int wake = -1;
    std::string devicePath;
};

// False, with the reason, when no pseudo-terminal could be made.
bool openPtyEndpoint(PtyEndpoint& endpoint, std::string* error);

}  // namespace halvek::sim
