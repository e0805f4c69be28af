#include "cli/report.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "cli/file_target.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/host_session.h"
#include "host/stop_signals.h"
#include "protocol/catalogue.h"
#include "report/report_session.h"
#include "report/report_texts.h"

namespace halvek::cli {
namespace {

using Clock = std::chrono::steady_clock;

const char* kUsage =
    "usage: halvek-cli report FILE [--serial SN] [--parts LIST] (--port PATH | --com N | --simulate) [--q7 | "
    "--q7e]\n"
    "       [--interval MS]\n"
    "  FILE          the report file; an existing folder gets the proposed name (L8V_<SN>.TXT or L8_<SN>.TXT)\n"
    "  --serial SN   the unit's serial number for the header and the name, at most 12 characters\n"
    "  --parts LIST  comma-separated, of stats, sensors, optics, video (default stats,sensors,optics)\n"
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "                for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    reads from the simulated validator, run inside\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n"
    "exit codes: 0 done, 1 no line, no answer, or the report could not be written (the reason on\n"
    "stderr), 2 bad command line (the usage on stderr)\n";

struct Arguments {
    std::string file, port;
    long com = 0, interval = 350;
    bool simulate = false, extended = true;
    ReportOptions options;
};

bool parsePart(const std::string& name, ReportOptions& options) {
    static const struct {
        const char* name;
        ReportPart part;
    } kNames[] = {{"stats", ReportPart::Statistics},
                  {"sensors", ReportPart::Sensors},
                  {"optics", ReportPart::MainOptics},
                  {"video", ReportPart::Video}};
    for (const auto& n : kNames)
        if (name == n.name) {
            options.set(n.part, true);
            return true;
        }
    return false;
}

bool parseParts(const std::string& list, ReportOptions& options, std::string& error) {
    options.statistics = options.sensors = options.mainOptics = options.video = false;
    size_t at = 0;
    for (;;) {
        const size_t comma = list.find(',', at);
        const std::string name = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!parsePart(name, options)) {
            error = "unknown part \"" + name + "\" in --parts (stats, sensors, optics, video)";
            return false;
        }
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

bool parseNumber(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && *end == '\0' && v >= lo && v <= hi;
}

// 0 when the arguments are sound, else 2 with the complaint written.
int parse(const std::vector<std::string>& args, Arguments& a, std::ostream& out, std::ostream& err) {
    auto complain = [&err](const std::string& what) {
        err << "halvek-cli report: " << what << "\n" << kUsage;
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue =
            arg == "--serial" || arg == "--parts" || arg == "--port" || arg == "--com" || arg == "--interval";
        if (takesValue && i + 1 >= args.size()) return complain(arg + " needs a value");
        const std::string value = takesValue ? args[++i] : std::string();
        std::string error;
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return -1;
        } else if (arg == "--serial") {
            if (value.size() > ReportOptions::kSerialNumberLength)
                return complain("the serial number " + value + " is longer than 12 characters");
            a.options.serialNumber = value;
        } else if (arg == "--parts") {
            if (!parseParts(value, a.options, error)) return complain(error);
        } else if (arg == "--port") {
            a.port = value;
        } else if (arg == "--com") {
            if (!parseNumber(value, 1, 99, a.com)) return complain("bad COM number " + value);
        } else if (arg == "--interval") {
            if (!parseNumber(value, 100, 3000, a.interval)) return complain("bad poll interval " + value);
        } else if (arg == "--simulate") {
            a.simulate = true;
        } else if (arg == "--q7" || arg == "--q7e") {
            a.extended = arg == "--q7e";
        } else if (!arg.empty() && arg[0] == '-') {
            return complain("bad option " + arg);
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return complain("one report file only (" + a.file + " and " + arg + ")");
        }
    }
    if (a.file.empty()) return complain("no report file given");
    if ((a.port.empty() ? 0 : 1) + (a.com ? 1 : 0) + (a.simulate ? 1 : 0) != 1)
        return complain("give exactly one of --port, --com and --simulate");
    return 0;
}

// Ticks the report after each tick of the controller, until done() holds, the
// run is interrupted or time runs out.
bool runUntil(HostSession& link, ReportSession& session, const StopSignals& stop,
              HostSession::Clock::time_point deadline, const std::function<bool()>& done) {
    LinkController& c = link.controller();
    RunHooks hooks;
    hooks.afterTick = [&session] { session.onTick(); };
    // The report's next read goes out as soon as the reply before it is in,
    // not at the next tick (once per reply: a frame that cannot go out now
    // waits for the tick).
    hooks.afterReply = [&] {
        if (c.timerRunning() && session.countdown().readReadyToSend()) c.onTick();
    };
    // The first tick is now: the unit is polled, or the report's read sent, at once.
    if (!done() && !stop.requested()) {
        if (c.timerRunning()) c.onTick();
        session.onTick();
    }
    return link.runUntil([&] { return stop.requested() || done(); }, deadline, hooks) && !stop.requested();
}

std::string targetPath(const std::string& file, const ReportSession& session) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        return (std::filesystem::path(file) / session.proposedFileName()).string();
    return file;
}

int report(const Arguments& a, std::ostream& out, std::ostream& err) {
    // Said before the unit is read, not after: a read-only file is refused as cp would.
    if (const std::string why = unwritableTarget(a.file, true); !why.empty()) {
        err << "halvek-cli report: " << why << "; no report written\n";
        return 1;
    }
    HostSession link("halvek-cli report", err);
    // Ctrl-C or a kill ends the wait as EXIT would: no report, the line closed properly.
    const StopSignals stop(link.lineLoop());
    LinkOptions o;
    o.port = a.port;
    o.com = a.com;
    o.simulate = a.simulate;
    o.extended = a.extended;
    o.interval = a.interval;
    if (!link.startLine(o)) return 1;
    const std::string device = link.shownDevice();
    if (!link.connect()) return 1;  // the controller has said why
    const int intervalMs = static_cast<int>(a.interval);

    ReportSession session(link.controller());
    session.setOptions(a.options);
    session.open();

    // A unit that answers nothing is told at once, not after every read has timed out.
    const int waitMs = static_cast<int>(LinkController::kReplyMarginMs) + 2 * intervalMs;
    bool answered = false;
    const auto heard = [&] {
        if (link.controller().unitAnswered() && link.controller().linkConnected()) answered = true;
        return answered;
    };
    if (!runUntil(link, session, stop, Clock::now() + std::chrono::milliseconds(waitMs), heard)) {
        err << "halvek-cli report: " << (stop.requested() ? "interrupted" : "the unit on " + device + " did not answer")
            << "; no report written\n";
        return 1;
    }
    // The report asks for what it needs itself: the start-up reads of the
    // connection (the bill enables, the security levels, the set-up...) would
    // only hold its reads back.
    link.controller().setStartupCountdown(0);
    session.onTick();
    const int limitMs = (ReportCountdown::kSettleLimit + ReportCountdown::kTickLimit + 4) * intervalMs;
    // A read the link gives up is asked again while the report's time lasts.
    for (const uint8_t code : {cmd::ReadProgRev, cmd::ReadStats, cmd::ReadCreditTable, cmd::ReadDiagn0, cmd::ReadDiagn1})
        link.keepAsking(code);
    runUntil(link, session, stop, Clock::now() + std::chrono::milliseconds(limitMs),
             [&] { return session.ready() || session.failed(); });
    if (!session.ready()) {
        const std::string why = stop.requested()   ? "interrupted"
                                : session.failed() ? session.problem()
                                                   : "the unit on " + device + " did not answer in time";
        err << "halvek-cli report: " << why << "; no report written\n";
        return 1;
    }
    const std::string path = targetPath(a.file, session);
    if (const std::string why = unwritableTarget(path); !why.empty()) {
        err << "halvek-cli report: " << why << "; no report written\n";
        return 1;
    }
    const ReportFileResult written = session.save(path);
    link.close();
    if (!written.written) {
        err << "halvek-cli report: " << written.error << "\n";
        return 1;
    }
    std::error_code ec;
    const std::string where = std::filesystem::absolute(path, ec).lexically_normal().string();
    char line[4096];
    std::snprintf(line, sizeof line, text::kLogFileCreated, (ec ? path : where).c_str());
    out << line << "\n";
    return 0;
}

}  // namespace

int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments a;
    const int bad = parse(args, a, out, err);
    if (bad != 0) return bad < 0 ? 0 : bad;
    return report(a, out, err);
}

}  // namespace halvek::cli
