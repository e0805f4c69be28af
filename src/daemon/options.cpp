#include "daemon/options.h"

#include <grp.h>

namespace halvek::daemon {

const char* const kUsage =
    "usage: halvekd (--port PATH | --com N | --simulate) [--q7 | --q7e] [--interval MS]\n"
    "               --socket PATH --journal FILE [--group GROUP] [--escrow-timeout MS]\n"
    "               [--escrow-default return|accept] [--sim-bills S] [--version] [--help]\n"
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N>, halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator inside and serves it\n"
    "  --sim-bills S with --simulate: a bill about every S seconds (0: none; default every few seconds)\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n"
    "  --socket PATH the Unix socket the clients connect to (mode 0660); a socket handed\n"
    "                over by systemd is taken instead\n"
    "  --group GROUP the socket file's group (name or number; default: the process's)\n"
    "  --journal FILE the money journal: every money record before its frame goes out\n"
    "  --escrow-timeout MS how long the controller may take to decide a bill, 1000 to\n"
    "                600000 (default 10000)\n"
    "  --escrow-default return|accept  what a bill gets when nobody decides (default return)\n";

namespace {

bool groupId(const std::string& text, gid_t& out) {
    long n = 0;
    if (parseInt(text, 0, 0x7fffffff, n)) {
        out = static_cast<gid_t>(n);
        return true;
    }
    group g{};
    group* found = nullptr;
    std::vector<char> buf(16384);
    if (getgrnam_r(text.c_str(), &g, buf.data(), buf.size(), &found) != 0 || !found) return false;
    out = found->gr_gid;
    return true;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine p;
    DaemonOptions& o = p.options;
    auto bad = [&p](std::string why) {
        p.what = ParsedCommandLine::What::Bad;
        p.error = std::move(why);
        return p;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        if (parseLinkOption(args, i, o.link, error)) {
            if (!error.empty()) return bad(error);
            continue;
        }
        const std::string* value = i + 1 < args.size() ? &args[i + 1] : nullptr;
        if (a == "--help" || a == "-h") {
            p.what = ParsedCommandLine::What::Help;
            return p;
        }
        if (a == "--version") {
            p.what = ParsedCommandLine::What::Version;
            return p;
        }
        if (a == "--socket" || a == "--journal") {
            if (!value || value->empty()) return bad(a + " needs a path");
            (a == "--socket" ? o.socketPath : o.journalPath) = *value;
        } else if (a == "--group") {
            gid_t gid = 0;
            if (!value || !groupId(*value, gid)) return bad("--group needs a group of this system (name or number)");
            o.group = gid;
        } else if (a == "--escrow-timeout") {
            if (!value || !parseInt(*value, 1000, 600000, o.escrowTimeoutMs))
                return bad("--escrow-timeout needs milliseconds from 1000 to 600000");
        } else if (a == "--escrow-default") {
            if (value && *value == "return")
                o.escrowDefault = service::Action::Return;
            else if (value && *value == "accept")
                o.escrowDefault = service::Action::Accept;
            else
                return bad("--escrow-default needs return or accept");
        } else {
            return bad("bad option " + a);
        }
        ++i;
    }
    if (const std::string problem = checkLinkOptions(o.link); !problem.empty()) return bad(problem);
    if (o.socketPath.empty()) return bad("--socket PATH is needed");
    if (o.journalPath.empty()) return bad("--journal FILE is needed");
    p.what = ParsedCommandLine::What::Run;
    return p;
}

}  // namespace halvek::daemon
