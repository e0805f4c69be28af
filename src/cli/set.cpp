#include "cli/set.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <sstream>

#include "cli/read_targets.h"
#include "cli/setup_words.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/host_session.h"
#include "pages/rtc/rtc_view.h"
#include "pages/setup/setup_view.h"
#include "protocol/catalogue.h"

namespace halvek::cli {
namespace {

void setUsage(std::ostream& out) {
    out << "usage: halvek-cli set KEY=VALUE... [--json] (--port PATH | --com N | --simulate) [--q7 | --q7e]\n"
           "keys:\n";
    for (const SwitchWords& w : switchWords())
        if (w.settable) out << "  " << setupSwitchRow(w.which).key << "=" << w.off << "|" << w.on << "\n";
    out << "The set-up is read back afterwards and printed as the unit holds it.\n"
           "options:\n  --json        the set-up as one JSON object\n"
        << kLinkOptionsUsage << exitCodes("no line or no answer, or the unit kept a switch as it was");
}

void setRtcUsage(std::ostream& out) {
    out << "usage: halvek-cli set-rtc [--json] (--port PATH | --com N | --simulate) [--q7 | --q7e]\n"
           "Sets the unit's clock to this PC's local time, reads it back and prints it.\n"
        << kLinkOptionsUsage << exitCodes("no line, no answer, no clock, or the clock read back is off");
}

struct Wanted {
    SetupSwitch which;
    bool on;
};

// "" when the argument is a known key with a known value.
std::string parseSwitch(const std::string& arg, Wanted& w) {
    const auto eq = arg.find('=');
    const std::string key = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (key == setupSwitchRow(SetupSwitch::Orientation).key)
        return "the orientation cannot be set: no command carries it to the unit";
    for (const SwitchWords& sw : switchWords()) {
        if (!sw.settable || key != setupSwitchRow(sw.which).key) continue;
        if (value != sw.off && value != sw.on)
            return key + " takes " + sw.off + " or " + sw.on + ", not '" + value + "'";
        w = {sw.which, value == sw.on};
        return "";
    }
    return "no such switch: " + key;
}

bool parseCommon(const std::vector<std::string>& args, size_t& i, LinkOptions& link, bool& json, std::string& error) {
    if (args[i] == "--json") {
        json = true;
        return true;
    }
    return parseLinkOption(args, i, link, error);
}

bool allSent(const LinkController& c, const std::vector<uint8_t>& codes) {
    for (uint8_t code : codes)
        if (c.requestState(code) != RequestState::Idle) return false;
    return true;
}

}  // namespace

int runSet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LinkOptions link;
    bool json = false;
    std::vector<Wanted> wanted;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (args[i] == "--help" || args[i] == "-h") {
            setUsage(out);
            return 0;
        }
        if (parseCommon(args, i, link, json, error)) {
            if (error.empty()) continue;
        } else if (args[i].find('=') != std::string::npos && args[i].rfind("--", 0) != 0) {
            Wanted w{};
            error = parseSwitch(args[i], w);
            if (error.empty()) {
                wanted.push_back(w);
                continue;
            }
        } else {
            error = "bad option " + args[i];
        }
        err << "halvek-cli set: " << error << "\n";
        setUsage(err);
        return 2;
    }
    const std::string problem = wanted.empty() ? "name a switch to set, as KEY=VALUE" : checkLinkOptions(link);
    if (!problem.empty()) {
        err << "halvek-cli set: " << problem << "\n";
        setUsage(err);
        return 2;
    }
    HostSession cli("halvek-cli set", err);
    if (!cli.open(link) || !cli.waitForStartup()) return 1;
    LinkController& c = cli.controller();
    std::vector<uint8_t> codes;
    for (const Wanted& w : wanted) {
        bool interrupt = c.interruptMode();
        setSwitchState(cli.stores().setup, interrupt, w.which, w.on);
        c.setInterruptMode(interrupt);
        const uint8_t code = commandFor(w.which, w.on);
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    }
    for (uint8_t code : codes) c.request(code);
    // The read goes out only after every command, whatever their codes.
    if (!cli.runFor([&] { return allSent(c, codes); }, std::chrono::seconds(10))) {
        err << "halvek-cli set: the commands could not be sent on " << escapeForTerminal(c.portPath()) << "\n";
        return 1;
    }
    if (!cli.readAll({cmd::ReadSetup})) return 1;
    printSetup(c, out, json);
    int status = 0;
    for (const Wanted& w : wanted) {
        if (switchState(cli.stores().setup, c.interruptMode(), w.which) == w.on) continue;
        const SetupSwitchRow& row = setupSwitchRow(w.which);
        err << "halvek-cli set: the unit kept " << row.key << " " << (w.on ? row.shownOff : row.shownOn) << "\n";
        status = 1;
    }
    return status;
}

int runSetRtc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LinkOptions link;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (args[i] == "--help" || args[i] == "-h") {
            setRtcUsage(out);
            return 0;
        }
        if (parseCommon(args, i, link, json, error) && error.empty()) continue;
        std::ostringstream usage;
        setRtcUsage(usage);
        return usageError(err, "set-rtc", error.empty() ? "bad option " + args[i] : error, usage.str());
    }
    if (const std::string problem = checkLinkOptions(link); !problem.empty()) {
        std::ostringstream usage;
        setRtcUsage(usage);
        return usageError(err, "set-rtc", problem, usage.str());
    }
    HostSession cli("halvek-cli set-rtc", err);
    if (!cli.open(link) || !cli.waitForStartup()) return 1;
    LinkController& c = cli.controller();
    if (const char* why = rtcUnavailable(c)) {
        err << "halvek-cli set-rtc: " << why << "\n";
        return 1;
    }
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    cli.stores().rtc = rtcRecordOf(local);
    c.request(cmd::SetRtc);
    if (!cli.readAll({cmd::ReadRtc})) return 1;
    printRtc(c, out, json);
    // Judged by what the unit answered, against the PC's time of the answer.
    const RtcRecord& r = cli.stores().rtc;
    auto fromBcd = [](uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    tm read{};
    read.tm_year = 100 + fromBcd(r[0]);
    read.tm_mon = fromBcd(r[1]) - 1;
    read.tm_mday = fromBcd(r[2]);
    read.tm_hour = fromBcd(r[4]);
    read.tm_min = fromBcd(r[5]);
    read.tm_sec = fromBcd(r[6]);
    read.tm_isdst = -1;
    const double off = std::difftime(mktime(&read), time(nullptr));
    if (std::fabs(off) > 2) {
        err << "halvek-cli set-rtc: the unit's clock reads " << rtcText(r) << ", " << static_cast<long>(off)
            << " s from this PC's\n";
        return 1;
    }
    return 0;
}

}  // namespace halvek::cli
