#include "host/line_options.h"

#include <cstdlib>

#include "link/controller_host.h"
#include "link/kept_port.h"
#include "link/settings_file.h"
#include "host/terminal_text.h"

namespace halvek {

const char* const kLinkOptionsUsage =
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "                for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator inside and connects to it\n"
    "  --sim-bills S with --simulate: the simulated validator takes a bill about every S seconds\n"
    "                (0: none)\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n";

std::string badValue(const std::string& option, const std::string& needs, const std::string* value) {
    return option + " needs " + needs + (value ? ", not '" + escapeForTerminal(*value) + "'" : "");
}

bool parseInt(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

bool parseLinkOption(const std::vector<std::string>& args, size_t& i, LinkOptions& o, std::string& error) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--q7") {
        o.extended = false;
    } else if (a == "--q7e") {
        o.extended = true;
    } else if (a == "--simulate") {
        o.simulate = true;
    } else if (a == "--port") {
        const std::string* v = value();
        if (!v || v->empty()) error = badValue(a, "a device path", v);
        if (v) o.port = *v;
    } else if (a == "--com") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 1, 99, o.com)) error = badValue(a, "a number from 1 to 99", v);
    } else if (a == "--sim-bills") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 0, 86400, o.simBills)) error = badValue(a, "seconds, 0 to 86400", v);
    } else if (a == "--interval") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 100, 3000, o.interval)) error = badValue(a, "a number from 100 to 3000", v);
    } else {
        return false;
    }
    return true;
}

std::string checkLinkOptions(const LinkOptions& o) {
    if ((o.port.empty() ? 0 : 1) + (o.com ? 1 : 0) + (o.simulate ? 1 : 0) != 1)
        return "give exactly one of --port, --com and --simulate";
    if (o.simBills >= 0 && !o.simulate) return "--sim-bills works only with --simulate";
    return "";
}

void selectLine(ControllerHost& host, const std::string& port, long com) {
    if (port.empty()) {
        SettingsFile settings;
        mapKeptPort(host.ports, settings);
    } else {
        host.ports.set(1, port);
    }
    host.controller.setComPortIndex(port.empty() ? static_cast<int>(com) - 1 : 0);
}

std::string comDevice(long com) {
    PortMap ports;
    SettingsFile settings;
    mapKeptPort(ports, settings);
    return ports.pathFor(static_cast<int>(com));
}

}  // namespace halvek
