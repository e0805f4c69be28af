#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "host/line_options.h"
#include "service/escrow_policy.h"

namespace halvek::daemon {

// halvekd's command line.
struct DaemonOptions {
    LinkOptions link;
    std::string socketPath;          // --socket PATH
    std::string journalPath;         // --journal FILE
    std::optional<gid_t> group;      // --group NAME|GID: the socket file's group
    long escrowTimeoutMs = 10000;    // --escrow-timeout MS
    service::Action escrowDefault = service::Action::Return;  // --escrow-default
};

extern const char* const kUsage;

// What the command line asks for: run, or print the usage or the version and
// stop; a bad line is said in `error` (exit 2).
struct ParsedCommandLine {
    enum class What { Run, Help, Version, Bad } what = What::Bad;
    DaemonOptions options;
    std::string error;
};
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

}  // namespace halvek::daemon
