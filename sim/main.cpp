// halvek-sim: a simulated bill validator on a pseudo-terminal.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "scenario.h"
#include "sim/printer/printer_sim.h"
#include "sim/replay/replay_main.h"
#include "sim_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage(std::ostream& out) {
    out << "usage: halvek-sim [--link PATH] [--script FILE] [--auto] [--quiet] [--wire-time] [--loader]\n"
           "                  [--variant l8|l8v[:TYPE]] [--fail sensors|optics|video|vla] [--printer]\n"
           "                  [--crc-busy MS]\n"
           "       halvek-sim --replay FILE [--keep-time] [--link PATH] [--quiet]\n"
           "--variant picks the model and the unit type letter TYPE (A by default; V, L and S have no clock).\n"
           "--replay answers every command as the unit in the protocol capture FILE did\n"
           "(--keep-time: as late as it did).\n"
           "Prints the device path a host must open on its first line ('device: /dev/pts/N'),\n"
           "then serves the validator until stopped (Ctrl-C, or end of standard input with --script).\n"
           "--loader starts the unit in its download loader (9600 baud, no parity).\n"
           "--printer adds a ticket printer on a second device ('printer: /dev/pts/M'), prints each element\n"
           "it receives ('printed: GS k 7 4 0123'); 'printer stall' stops its reading, 'printer read' resumes.\n"
           "--crc-busy MS leaves Read CRC unanswered for MS milliseconds after Run CRC (the crc-busy command too).\n"
           "Scenario commands, one per line on standard input or in the script (quit or exit ends):\n"
        << halvek::sim::scenarioHelp() << "\n  " << halvek::sim::DownloadLoader::scenarioHelp() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace halvek::sim;
    SimOptions options;
    std::string link, script;
    bool autoMode = false, quiet = false, wireTime = false, printer = false, loader = false;
    halvek::sim::ReplayOptions replay;
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
        else if (a == "--replay")
            replay.file = value("a capture file");
        else if (a == "--keep-time")
            replay.keepTime = true;
        else if (a == "--script")
            script = value("a file");
        else if (a == "--auto")
            autoMode = true;
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--wire-time")
            wireTime = true;
        else if (a == "--printer")
            printer = true;
        else if (a == "--loader")
            loader = true;
        else if (a == "--crc-busy") {
            const std::string v = value("milliseconds");
            char* end = nullptr;
            const long ms = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || ms < 0 || ms > 600000) {
                std::cerr << "halvek-sim: --crc-busy takes milliseconds, 0 to 600000\n";
                return 2;
            }
            options.crcBusyMs = static_cast<int>(ms);
        } else if (a == "--variant") {
            const std::string v = value("l8 or l8v, with :TYPE for the unit type letter");
            const std::string model = v.substr(0, v.find(':'));
            const std::string type = v.find(':') == std::string::npos ? "A" : v.substr(v.find(':') + 1);
            if ((model != "l8" && model != "l8v") || type.size() != 1 || type[0] < 'A' || type[0] > 'Z') {
                std::cerr << "halvek-sim: --variant takes l8 or l8v, optionally with :TYPE, an upper-case letter\n";
                return 2;
            }
            options.variant = model == "l8" ? Variant::L8 : Variant::L8V;
            options.unitType = type[0];
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
        } else if (a == "--version") {
            std::cout << "halvek-sim 1.2\n";
            return 0;
        } else {
            std::cerr << "halvek-sim: unknown option " << a << "\n";
            usage(std::cerr);
            return 2;
        }
    }

    if (!replay.file.empty()) {
        replay.link = link;
        replay.quiet = quiet;
        return runReplay(replay);
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
    PrinterSim printerSim;
    if (printer) {
        if (!printerSim.start(&error)) {
            std::cerr << "halvek-sim: " << error << "\n";
            return 1;
        }
        printerSim.setSink([](const std::string& e) { std::cout << "printed: " << e << std::endl; });
        std::cout << "printer: " << printerSim.devicePath() << std::endl;
    }
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
            std::cout << scenarioHelp() << "\n" << DownloadLoader::scenarioHelp() << std::endl;
            continue;
        }
        if (line == "quit" || line == "exit") break;
        const bool forPrinter = printer && line.rfind("printer ", 0) == 0;
        const std::string complaint = forPrinter ? printerSim.execute(line.substr(8)) : server.execute(line);
        if (!complaint.empty()) std::cerr << "halvek-sim: " << complaint << std::endl;
    }
    printerSim.stop();
    server.stop();
    return 0;
}
