#pragma once

#include <ostream>

#include "daemon/options.h"

namespace halvek::daemon {

// Runs halvekd until SIGTERM or SIGINT: takes the socket (handed over by
// systemd, or bound here), opens the money journal and the line, and serves.
// Returns the exit code: 0 after a clean stop, 1 when the socket, the journal
// or the line cannot be opened (the reason said on err).
int runDaemon(const DaemonOptions& options, std::ostream& err);

}  // namespace halvek::daemon
