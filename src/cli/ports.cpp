#include "cli/ports.h"

#include "serial/port_discovery.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli ports [--json]\n"
    "Lists the serial devices of this machine: the path, the /dev/serial/by-id name (which\n"
    "stays the same when the adapter is plugged in again), USB vendor and product, serial\n"
    "number and driver.\n"
    "  --json      the same as a JSON array\n"
    "  --root DIR  read /sys and /dev under DIR instead (for tests)\n";

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
            err << "halvek-cli ports: bad option " << args[i] << "\n" << kUsage;
            return 2;
        }
    }
    const auto devices = discoverSerialPorts(root);
    out << (json ? formatPortListJson(devices) : formatPortList(devices));
    return 0;
}

}  // namespace halvek::cli
