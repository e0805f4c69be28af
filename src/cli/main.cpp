// halvek-cli: Halvek's headless commands, one table row each (cli/commands.cpp).
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/usage.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: halvek-cli COMMAND [OPTIONS]\ncommands:\n";
    for (const halvek::cli::Command& c : halvek::cli::commands())
        out << "  " << c.name << std::string(10 - std::string(c.name).size(), ' ') << c.summary << "\n";
    out << "'halvek-cli COMMAND --help' tells more; --version prints the version.\n" << halvek::cli::exitCodes();
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
    for (const halvek::cli::Command& c : halvek::cli::commands())
        if (args[0] == c.name) return c.run(rest, std::cout, std::cerr);
    std::cerr << "halvek-cli: unknown command " << args[0] << "\n";
    usage(std::cerr);
    return 2;
}
