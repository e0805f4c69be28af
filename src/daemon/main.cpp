// halvekd: the validator service. It owns the line and serves kiosk software
// over a local socket.
#include <iostream>

#include "daemon/daemon.h"
#include "daemon/options.h"

int main(int argc, char** argv) {
    using halvek::daemon::ParsedCommandLine;
    const ParsedCommandLine p = halvek::daemon::parseCommandLine({argv + 1, argv + argc});
    switch (p.what) {
        case ParsedCommandLine::What::Help:
            std::cout << halvek::daemon::kUsage;
            return 0;
        case ParsedCommandLine::What::Version:
            std::cout << "halvekd " HALVEK_VERSION "\n";
            return 0;
        case ParsedCommandLine::What::Bad:
            std::cerr << "halvekd: " << p.error << "\n" << halvek::daemon::kUsage;
            return 2;
        case ParsedCommandLine::What::Run:
            break;
    }
    return halvek::daemon::runDaemon(p.options, std::cerr);
}
