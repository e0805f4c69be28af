#include "cli/ports.h"

#include "cli/monitor.h"
#include "cli/usage.h"
#include "serial/port_discovery.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli ports [--json]\n"
    "Lists the serial devices of this machine: the path, the /dev/serial/by-id name (which\n"
    "stays the same when the adapter is plugged in again), USB vendor and product, serial\n"
    "number and driver.\n"
    "  --json      the same as a JSON array\n"
    "  --root DIR  read /sys and /dev under DIR instead (for tests)\n"
    "exit codes: 0 listed (also when there is none), 2 bad command line (the usage on stderr)\n";

// What an adapter says of itself reaches the terminal as the monitor's lines do:
// a USB string holding escape sequences cannot drive it, and a device stays one line.
std::vector<SerialDeviceInfo> printable(std::vector<SerialDeviceInfo> devices) {
    for (SerialDeviceInfo& d : devices)
        for (std::string* s :
             {&d.path, &d.byIdPath, &d.driver, &d.vendorId, &d.productId, &d.manufacturer, &d.product, &d.serialNumber})
            *s = escapeForTerminal(*s);
    return devices;
}

}  // namespace

int runPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::string root = "/";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--root" && i + 1 < args.size()) {
            root = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            out << kUsage;
            return 0;
        } else {
            return usageError(err, "ports", "bad option " + escapeForTerminal(args[i]), kUsage);
        }
    }
    const auto devices = discoverSerialPorts(root);
    out << (json ? formatPortListJson(devices) : formatPortList(printable(devices)));
    return 0;
}

}  // namespace halvek::cli
