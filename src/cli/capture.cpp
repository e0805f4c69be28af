#include "capture.h"

#include <chrono>
#include <cstdlib>
#include <memory>

#include "capture/protocol_capture.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/host_session.h"
#include "host/stop_signals.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli capture FILE (--port PATH | --com N | --simulate) [--q7 | --q7e] [--interval MS]\n"
    "                           [--seconds S] [--limit BYTES] [--sim-bills S]\n"
    "  FILE          the capture file; it is created, or emptied if it exists, once the line is open\n"
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "                for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator inside and connects to it\n"
    "  --sim-bills S with --simulate: the simulated validator takes a bill about every S seconds\n"
    "                (0: none; default: every 3 to 6 s)\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n"
    "  --seconds S   how long to run (default: until interrupted)\n"
    "  --limit BYTES the file closes at the first frame after this many bytes (default 51200000)\n"
    "exit codes: 0 done, 1 the line or the file could not be opened, or writing failed (the reason\n"
    "on stderr), 2 bad command line (the usage on stderr)\n";

// Says how the capture ended: at its limit, or on a write that failed.
class CaptureEndReport : public CaptureListener {
  public:
    explicit CaptureEndReport(std::ostream& err) : err_(err) {}
    void captureEnded(CaptureEnd end, const std::string& path, const std::string& reason) override {
        ended = true;
        failed = end == CaptureEnd::WriteFailed;
        if (failed)
            err_ << "halvek-cli capture: writing " << path << " failed: " << reason << "\n";
        else
            err_ << "halvek-cli capture: " << path << " reached its limit and is closed\n";
    }
    bool ended = false, failed = false;

  private:
    std::ostream& err_;
};

bool parseInt(const std::string& s, long long lo, long long hi, long long& v) {
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

}  // namespace

int runCapture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file, port;
    long long com = 0, interval = 350, seconds = -1, simBills = -1, limit = static_cast<long long>(capture::kLimitStep);
    bool extended = true, simulate = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        const std::string* v = nullptr;
        if (a == "--port" && (v = value()))
            port = *v;
        else if (a == "--com" && (v = value()) && parseInt(*v, 1, 99, com)) {
        } else if (a == "--interval" && (v = value()) && parseInt(*v, 100, 3000, interval)) {
        } else if (a == "--seconds" && (v = value()) && parseInt(*v, 0, 100000000, seconds)) {
        } else if (a == "--sim-bills" && (v = value()) && parseInt(*v, 0, 86400, simBills)) {
        } else if (a == "--limit" && (v = value()) && parseInt(*v, 1, 0xFFFFFFFFLL, limit)) {
        } else if (a == "--q7")
            extended = false;
        else if (a == "--q7e")
            extended = true;
        else if (a == "--simulate")
            simulate = true;
        else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else if (file.empty() && !a.empty() && a[0] != '-')
            file = a;
        else {
            err << "halvek-cli capture: bad option " << a << (v ? " " + *v : "") << "\n" << kUsage;
            return 2;
        }
    }
    if (file.empty()) {
        err << "halvek-cli capture: name the capture file\n" << kUsage;
        return 2;
    }
    if ((port.empty() ? 0 : 1) + (com ? 1 : 0) + (simulate ? 1 : 0) != 1) {
        err << "halvek-cli capture: give exactly one of --port, --com and --simulate\n" << kUsage;
        return 2;
    }
    if (simBills >= 0 && !simulate) {
        err << "halvek-cli capture: --sim-bills works only with --simulate\n" << kUsage;
        return 2;
    }

    CaptureEndReport report(err);
    // The capture outlives the reader thread that writes into it.
    ProtocolCapture capture;
    capture.setLimit(static_cast<uint64_t>(limit));
    capture.setListener(&report);
    HostSession session("halvek-cli capture", err);
    session.setMessageLine(err, "message");
    session.setPlaysMachineController(true);
    session.setAnnounceSimulator(true);
    LinkOptions line;
    line.port = port;
    line.com = static_cast<long>(com);
    line.simulate = simulate;
    line.extended = extended;
    line.interval = static_cast<long>(interval);
    line.simBills = static_cast<long>(simBills);
    if (!session.startLine(line)) return 1;
    ControllerHost& host = session.host();
    if (!session.connect()) {
        err << "halvek-cli capture: " << escapeForTerminal(host.block.port.lastError()) << "\n";
        return 1;
    }
    // Only once the line is open: a device that is not there leaves an older capture as it was.
    // Nothing is sent before the first tick, so no frame is missed.
    std::string reason;
    if (!capture.open(file, &reason)) {
        err << "halvek-cli capture: cannot open " << file << ": " << reason << "\n";
        return 1;
    }
    host.block.frameTap.store(&capture);
    using Clock = std::chrono::steady_clock;
    const auto end = seconds < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::seconds(seconds);
    {
        const StopSignals stop(session.lineLoop());
        session.runUntil([&] { return stop.requested() || report.ended; }, end,
                         RunHooks::afterEach([&capture] { capture.onTick(); }));
    }
    session.close();
    host.block.frameTap.store(nullptr);
    capture.onTick();  // an end the last frames brought
    const uint64_t written = capture.written();
    const bool ended = report.ended;
    if (std::string why; !capture.close(&why) && !ended) {
        // The file (a FIFO whose reader stopped, say) did not take the last lines in time.
        err << "halvek-cli capture: writing " << file << " failed: " << why << "\n";
        report.failed = true;
    }
    out << "capture: " << written << " bytes written to " << file << "\n";
    return report.failed ? 1 : 0;
}

}  // namespace halvek::cli
