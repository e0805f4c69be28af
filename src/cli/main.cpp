// halvek-cli: Halvek's headless commands.
#include <iostream>
#include <string>
#include <vector>

#include "download.h"
#include "monitor.h"
#include "upload.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << "usage: halvek-cli COMMAND [OPTIONS]\n"
                     "commands:\n"
                     "  monitor   connect to a validator and print what happens, one line each\n"
                     "  download  check a firmware file and load it into the validator\n"
                     "  upload    read the validator's firmware into a file\n"
                     "'halvek-cli COMMAND --help' tells more.\n";
        return args.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "monitor") return halvek::cli::runMonitor(rest, std::cout, std::cerr);
    if (args[0] == "download") return halvek::cli::runDownload(rest, std::cout, std::cerr);
    if (args[0] == "upload") return halvek::cli::runUpload(rest, std::cout, std::cerr);
    std::cerr << "halvek-cli: unknown command " << args[0] << " (try --help)\n";
    return 2;
}
