#include "cli/read.h"

#include "cli/read_targets.h"
#include "cli/usage.h"
#include "host/host_session.h"

namespace halvek::cli {
namespace {

void usage(std::ostream& out) {
    out << "usage: halvek-cli read TARGET [--json] (--port PATH | --com N | --simulate) [--q7 | --q7e]\n"
           "targets:\n";
    for (const ReadTarget& t : readTargets())
        out << "  " << t.name << std::string(10 - std::string(t.name).size(), ' ') << t.what << "\n";
    out << "options:\n  --json        one JSON object instead of aligned text\n"
        << kLinkOptionsUsage << exitCodes("no line, no answer, or data the unit cannot give");
}

}  // namespace

int runRead(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LinkOptions link;
    bool json = false;
    const ReadTarget* target = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (args[i] == "--help" || args[i] == "-h") {
            usage(out);
            return 0;
        }
        if (args[i] == "--json") {
            json = true;
        } else if (parseLinkOption(args, i, link, error)) {
            if (!error.empty()) {
                err << "halvek-cli read: " << error << "\n";
                usage(err);
                return 2;
            }
        } else if (!target && args[i].rfind("--", 0) != 0) {
            for (const ReadTarget& t : readTargets())
                if (args[i] == t.name) target = &t;
            if (!target) {
                err << "halvek-cli read: no such data: " << args[i] << "\n";
                usage(err);
                return 2;
            }
        } else {
            err << "halvek-cli read: bad option " << args[i] << "\n";
            usage(err);
            return 2;
        }
    }
    const std::string problem = target ? checkLinkOptions(link) : "name the data to read";
    if (!problem.empty()) {
        err << "halvek-cli read: " << problem << "\n";
        usage(err);
        return 2;
    }
    HostSession cli("halvek-cli read", err);
    if (!cli.open(link) || !cli.waitForStartup()) return 1;
    if (const char* why = target->unreadable ? target->unreadable(cli.controller()) : nullptr) {
        err << "halvek-cli read: " << why << "\n";
        return 1;
    }
    std::vector<uint8_t> codes;
    for (uint8_t c : target->codes)
        if (c != 0 && (link.extended || !extendedOnly(c))) codes.push_back(c);
    if (!cli.readAll(codes, target->diagnosticsSelector)) return 1;
    if (target->stored && !target->stored(cli.controller())) {
        err << "halvek-cli read: the validator's reply was too short to hold the " << target->name << "\n";
        return 1;
    }
    target->print(cli.controller(), out, json);
    return 0;
}

}  // namespace halvek::cli
