// halvek-cli: Halvek's headless commands, one table row each.
#include <iostream>
#include <string>
#include <vector>

#include "cli/capture.h"
#include "cli/cassette.h"
#include "cli/crc.h"
#include "cli/doctor.h"
#include "cli/download.h"
#include "cli/monitor.h"
#include "cli/ports.h"
#include "cli/read.h"
#include "cli/report.h"
#include "cli/service_client.h"
#include "cli/set.h"
#include "cli/upload.h"

namespace {

using Run = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

struct Command {
    const char* name;
    const char* summary;
    Run run;
};

const Command kCommands[] = {
    {"monitor", "connect to a validator and print what happens, one line each", halvek::cli::runMonitor},
    {"read", "connect, read one kind of data and print it (text or JSON)", halvek::cli::runRead},
    {"set", "turn set-up switches of a validator and print its set-up read back", halvek::cli::runSet},
    {"set-rtc", "set a validator's clock to this PC's time and print it read back", halvek::cli::runSetRtc},
    {"report", "read a validator and write its diagnostics report file", halvek::cli::runReport},
    {"capture", "poll a validator and write every frame to a capture file", halvek::cli::runCapture},
    {"crc", "a firmware file's checksum, the validator's, or both compared", halvek::cli::runCrc},
    {"download", "check a firmware file and load it into the validator", halvek::cli::runDownload},
    {"upload", "read the validator's firmware into a file", halvek::cli::runUpload},
    {"cassette", "read, write the ID of, or clear the attached cassette", halvek::cli::runCassette},
    {"ticket", "print one bar-code ticket", halvek::cli::runTicket},
    {"ports", "list the serial devices of this machine", halvek::cli::runPorts},
    {"doctor", "check a serial port for the usual Linux troubles", halvek::cli::runDoctor},
    {"watch", "print what halvekd reports: money records, the unit's events", halvek::cli::runWatch},
    {"decide", "accept or return a bill in escrow as halvekd's controller", halvek::cli::runDecide},
};

void usage(std::ostream& out) {
    out << "usage: halvek-cli COMMAND [OPTIONS]\ncommands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.name << std::string(10 - std::string(c.name).size(), ' ') << c.summary << "\n";
    out << "'halvek-cli COMMAND --help' tells more; --version prints the version.\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        usage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::cout << "halvek-cli " HALVEK_VERSION "\n";
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const Command& c : kCommands)
        if (args[0] == c.name) return c.run(rest, std::cout, std::cerr);
    std::cerr << "halvek-cli: unknown command " << args[0] << " (try --help)\n";
    return 2;
}
