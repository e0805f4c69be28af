#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_session.h"

namespace halvek::cli {

// halvek-cli download FILE (--port PATH | --com N | --simulate) [--dry-run]:
// checks the whole file, then loads it through the unit's download loader.
// Exit codes: 0 done, 1 failed (the reason on the last line), 2 bad command line.
int runDownload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// What the firmware commands share: the line options and the progress line.
struct LineOptions {
    std::string file;
    std::string port;
    long com = 0;
    bool simulate = false;
    bool extended = true;
    bool dryRun = false;
    std::vector<std::string> scenario;  // commands for the simulated unit
    // Parses one option at args[i] (moving i past its value); false if it is not a line option.
    bool parse(const std::vector<std::string>& args, size_t& i, std::string& complaint);
    bool complete(std::string& complaint) const;
};

// Blocks done / total, rate and time left: one rewritten line on a terminal,
// a plain line at every tenth otherwise.
class Progress {
  public:
    Progress(std::ostream& out, bool terminal, const char* unit) : out_(out), terminal_(terminal), unit_(unit) {}
    void start() { start_ = std::chrono::steady_clock::now(); }
    void show(uint32_t done, uint32_t total);
    void end();

  private:
    std::ostream& out_;
    bool terminal_;
    const char* unit_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
    int lastTenth_ = -1;
    bool drawn_ = false;
};

// Starts the simulated unit when asked (with its scenario), and points the
// session at the line. The core's messages are printed as "message: ..." lines.
bool prepareLine(const LineOptions& o, HostSession& session, std::ostream& out, std::ostream& err);
// Connects the controller and polls for a while: true when the unit answered.
bool probeUnit(HostSession& session, std::chrono::milliseconds limit);
std::string hex8(uint32_t v);
bool isTerminal(std::ostream& out);

}  // namespace halvek::cli
