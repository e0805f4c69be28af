// halvek-cli: Halvek's headless commands.
#include <iostream>
#include <string>
#include <vector>

#include "doctor.h"
#include "monitor.h"
#include "ports.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << "usage: halvek-cli COMMAND [OPTIONS]\n"
                     "commands:\n"
                     "  monitor   connect to a validator and print what happens, one line each\n"
                     "  ports     list the serial devices of this machine\n"
                     "  doctor    check a serial port for the usual Linux troubles\n"
                     "'halvek-cli COMMAND --help' tells more.\n";
        return args.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "monitor") return halvek::cli::runMonitor(rest, std::cout, std::cerr);
    if (args[0] == "ports") return halvek::cli::runPorts(rest, std::cout, std::cerr);
    if (args[0] == "doctor") return halvek::cli::runDoctor(rest, std::cout, std::cerr);
    std::cerr << "halvek-cli: unknown command " << args[0] << " (try --help)\n";
    return 2;
}
