// halvek-sim: a simulated bill validator on a pseudo-terminal.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "sim_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage(std::ostream& out) {
    out << "usage: halvek-sim [--link PATH] [--script FILE] [--auto] [--quiet] [--wire-time] [--loader]\n"
           "                  [--variant l8|l8v] [--fail sensors|optics|video|vla]\n"
           "Prints the device path a host must open on its first line ('device: /dev/pts/N'),\n"
           "then serves the validator until stopped (Ctrl-C, or end of standard input with --script).\n"
           "--loader starts the unit in its download loader (9600 baud, no parity).\n"
           "Scenario commands, one per line on standard input or in the script:\n  "
        << halvek::sim::ValidatorModel::scenarioHelp() << "\n  " << halvek::sim::DownloadLoader::scenarioHelp() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace halvek::sim;
    SimOptions options;
    std::string link, script;
    bool autoMode = false, quiet = false, wireTime = false, loader = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "halvek-sim: " << a << " needs " << what << "\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link")
            link = value("a path");
        else if (a == "--script")
            script = value("a file");
        else if (a == "--auto")
            autoMode = true;
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--wire-time")
            wireTime = true;
        else if (a == "--loader")
            loader = true;
        else if (a == "--variant") {
            const std::string v = value("l8 or l8v");
            if (v == "l8")
                options.variant = Variant::L8;
            else if (v == "l8v")
                options.variant = Variant::L8V;
            else {
                std::cerr << "halvek-sim: --variant takes l8 or l8v\n";
                return 2;
            }
        } else if (a == "--fail") {
            const std::string v = value("what to fail");
            if (v == "sensors")
                options.failSensors = true;
            else if (v == "optics")
                options.failOptics = true;
            else if (v == "video")
                options.failVideo = true;
            else if (v == "vla")
                options.failVla = true;
            else {
                std::cerr << "halvek-sim: --fail takes sensors, optics, video or vla\n";
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            usage(std::cout);
            return 0;
        } else {
            std::cerr << "halvek-sim: unknown option " << a << "\n";
            usage(std::cerr);
            return 2;
        }
    }

    SimServer server(options);
    if (!quiet) server.setLog([](const std::string& line) { std::cerr << "sim: " << line << std::endl; });
    std::string error;
    if (!server.start(&error)) {
        std::cerr << "halvek-sim: " << error << "\n";
        return 1;
    }
    server.setAuto(autoMode);
    server.setWireTime(wireTime);
    if (loader) server.setLoader(true);
    std::cout << "device: " << server.devicePath() << std::endl;
    if (!link.empty()) {
        if (!server.linkTo(link, &error)) {
            std::cerr << "halvek-sim: " << error << "\n";
            return 1;
        }
        std::cout << "link: " << link << std::endl;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (!script.empty() && !server.runScript(script, &error)) {
        std::cerr << "halvek-sim: " << error << "\n";
        return 1;
    }
    // Scenario commands from standard input; at its end keep serving until a signal.
    bool inputOpen = true;
    std::string line;
    while (!stopRequested) {
        if (!inputOpen) {
            pause();
            continue;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        if (!std::getline(std::cin, line)) {
            inputOpen = false;
            continue;
        }
        if (line == "help") {
            std::cout << ValidatorModel::scenarioHelp() << "\n" << DownloadLoader::scenarioHelp() << std::endl;
            continue;
        }
        if (line == "quit" || line == "exit") break;
        const std::string complaint = server.execute(line);
        if (!complaint.empty()) std::cerr << "halvek-sim: " << complaint << std::endl;
    }
    server.stop();
    return 0;
}
