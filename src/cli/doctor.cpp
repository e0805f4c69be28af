#include "cli/doctor.h"

#include <cstdlib>

#include "host/line_options.h"
#include "cli/monitor.h"
#include "cli/usage.h"
#include "serial/port_doctor.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli doctor [--port PATH | --com N]...\n"
    "Checks a serial port for the usual reasons it will not open or runs slowly: that the\n"
    "device is there and is a serial line, that you may open it, that no other program holds\n"
    "it, whether ModemManager or brltty may grab it, and the FTDI latency timer. Prints one\n"
    "line per check (ok, warn or fail) with the fix. Without a port, checks every serial\n"
    "device found.\n"
    "  --port PATH  the device, e.g. /dev/ttyUSB0 or a /dev/serial/by-id name\n"
    "  --com N      COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "               for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --root DIR   read /sys, /dev, /proc and /etc under DIR instead (for tests)\n"
    "exit codes: 0 every check passed or warned, 1 a check failed (its fail line says why),\n"
    "2 bad command line (the usage on stderr)\n";

}  // namespace

int runDoctor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> ports;
    std::string root = "/";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--port" && hasValue) {
            ports.push_back(args[++i]);
        } else if (a == "--com" && hasValue) {
            char* end = nullptr;
            const long n = std::strtol(args[++i].c_str(), &end, 10);
            if (end == args[i].c_str() || *end != '\0' || n < 1 || n > 99) {
                return usageError(err, "doctor", badValue(a, "a number from 1 to 99", &args[i]), kUsage);
            }
            ports.push_back(comDevice(n));
        } else if (a == "--root" && hasValue) {
            root = args[++i];
        } else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else {
            return usageError(err, "doctor", "bad option " + escapeForTerminal(a), kUsage);
        }
    }
    auto lines = halvek::runDoctor(ports, root);
    // The adapter's own strings (and the device names) reach the terminal as the monitor's lines do.
    for (DoctorLine& l : lines) {
        l.finding = escapeForTerminal(l.finding);
        l.fix = escapeForTerminal(l.fix);
    }
    out << formatDoctorReport(lines);
    return anyFailure(lines) ? 1 : 0;
}

}  // namespace halvek::cli
