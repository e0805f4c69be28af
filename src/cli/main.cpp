// halvek-cli: Halvek's headless commands.
#include <iostream>
#include <string>
#include <vector>

#include "cli/monitor.h"
#include "cli/read.h"
#include "cli/report.h"
#include "cli/cassette.h"
#include "cli/capture.h"
#include "cli/crc.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << "usage: halvek-cli COMMAND [OPTIONS]\n"
                     "commands:\n"
                     "  monitor   connect to a validator and print what happens, one line each\n"
                     "  read      connect, read one kind of data (bills, ...) and print it\n"
                     "  report    read a validator and write its diagnostics report file\n"
                     "  cassette  read, write the ID of, or clear the attached cassette\n"
                     "  ticket    print one bar-code ticket\n"
                     "  capture   poll a validator and write every frame to a capture file\n"
                     "  crc       a firmware file's checksum, the validator's, or both compared\n"
                     "'halvek-cli COMMAND --help' tells more.\n";
        return args.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "monitor") return halvek::cli::runMonitor(rest, std::cout, std::cerr);
    if (args[0] == "read") return halvek::cli::runRead(rest, std::cout, std::cerr);
    if (args[0] == "report") return halvek::cli::runReport(rest, std::cout, std::cerr);
    if (args[0] == "cassette") return halvek::cli::runCassette(rest, std::cout, std::cerr);
    if (args[0] == "ticket") return halvek::cli::runTicket(rest, std::cout, std::cerr);
    if (args[0] == "capture") return halvek::cli::runCapture(rest, std::cout, std::cerr);
    if (args[0] == "crc") return halvek::cli::runCrc(rest, std::cout, std::cerr);
    std::cerr << "halvek-cli: unknown command " << args[0] << " (try --help)\n";
    return 2;
}
