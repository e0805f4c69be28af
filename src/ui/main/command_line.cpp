#include "ui/main/command_line.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "serial/port_map.h"

namespace halvek::ui {

const char* const kUsage =
    "usage: halvek [--com N=PATH]... [--simulate [--sim-bills S]] [--connect] [--journal FILE] [Qt options]\n"
    "  --com N=PATH   COM N opens PATH (e.g. --com 1=/dev/ttyUSB0); also HALVEK_COM<N>=PATH\n"
    "  --simulate     a simulated validator (demo mode) stands behind the selected COM entry;\n"
    "                 Simulator > Insert a Bill (F2) puts a bill in by hand\n"
    "  --sim-bills S  the simulated validator takes a bill about every S seconds (default 30;\n"
    "                 0: only by hand)\n"
    "  --connect      presses CONNECT once the window is shown\n"
    "  --journal FILE appends every money event (escrow, decision, frame sent, stacked, returned,\n"
    "                 credit) to FILE, one line each, written through before the next\n"
    "  --version      prints the version\n"
    "  --help         prints this text\n"
    "The console tool without a window is halvek-cli.\n";

namespace {

// Qt's own options, left for QApplication: those that take a value, then flags.
const char* const kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "style",    "stylesheet",         "session",       "display", "geometry",        "title",       "name",
    "visual",   "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool needsDisplay(const std::string& platform) {
    return platform.empty() || platform == "xcb" || platform.rfind("wayland", 0) == 0;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    auto fail = [&line](std::string why) {
        line.action = CommandLine::Action::Error;
        line.error = std::move(why);
        return line;
    };
    bool simBillsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (a == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (a == "--simulate") {
            line.simulate = true;
        } else if (a == "--sim-bills" || a.rfind("--sim-bills=", 0) == 0) {
            std::string v;
            if (a == "--sim-bills") {
                if (i + 1 >= argc) return fail("--sim-bills takes seconds, 0 to 86400");
                v = argv[++i];
            } else {
                v = a.substr(12);
            }
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > 86400) return fail("--sim-bills takes seconds, 0 to 86400");
            line.simBills = static_cast<int>(n);
            simBillsGiven = true;
        } else if (a == "--connect") {
            line.connect = true;
        } else if (a == "--journal" || a.rfind("--journal=", 0) == 0) {
            if (a == "--journal" && (i + 1 >= argc || argv[i + 1][0] == '\0')) return fail("--journal takes FILE");
            line.journalPath = a == "--journal" ? argv[++i] : a.substr(10);
            if (line.journalPath.empty()) return fail("--journal takes FILE");
        } else if (a == "--com" || a.rfind("--com=", 0) == 0) {
            std::string v;
            if (a == "--com") {
                if (i + 1 >= argc) return fail("--com takes N=PATH");
                v = argv[++i];
            } else {
                v = a.substr(6);
            }
            PortMap check;
            if (!check.parseOverride(v)) return fail("--com takes N=PATH, not '" + v + "'");
            const auto eq = v.find('=');
            line.comPaths.emplace_back(std::stoi(v.substr(0, eq)), v.substr(eq + 1));
        } else {
            // Qt's options are spelled with one dash or two, the value after a blank or '='.
            std::string name = a.rfind("--", 0) == 0 ? a.substr(2) : a.rfind('-', 0) == 0 ? a.substr(1) : "";
            std::string value;
            bool inlineValue = false;
            if (const auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
            bool known = false;
            for (const char* o : kQtValueOptions) {
                if (name != o) continue;
                known = true;
                if (!inlineValue) {
                    if (i + 1 >= argc) return fail("-" + name + " takes a value");
                    value = argv[++i];
                }
            }
            for (const char* f : kQtFlags) known = known || (name == f && !inlineValue);
            if (!known) return fail("unknown option " + a);
            if (name == "platform") line.platform = value;
            if (name == "display") line.displayGiven = true;
        }
    }
    if (simBillsGiven && !line.simulate) return fail("--sim-bills works only with --simulate");
    return line;
}

bool displayAvailable(const CommandLine& line, const char* qpaPlatform, const char* display, const char* wayland) {
    const auto set = [](const char* v) { return v != nullptr && *v != '\0'; };
    std::string platforms = !line.platform.empty() ? line.platform : set(qpaPlatform) ? qpaPlatform : "";
    // Qt tries the platforms of a list in turn ("wayland;xcb").
    std::stringstream list(platforms);
    std::string p;
    bool any = false;
    while (std::getline(list, p, ';')) {
        const std::string name = p.substr(0, p.find(':'));  // "vnc:size=800x600"
        any = true;
        if (!needsDisplay(name)) return true;
        if (name == "xcb" && (set(display) || line.displayGiven)) return true;
        if (name.rfind("wayland", 0) == 0 && set(wayland)) return true;
    }
    if (!any) return set(display) || set(wayland) || line.displayGiven;
    return false;
}

}  // namespace halvek::ui
