// halvek: the window.
#include <QApplication>
#include <cstdio>
#include <iostream>

#include "serial/port_map.h"
#include "sim/sim_server.h"
#include "ui/main/main_window.h"

namespace {

const char* kHelp =
    "usage: halvek [--com N=PATH]... [--simulate] [--connect] [Qt options]\n"
    "  --com N=PATH   COM N opens PATH (e.g. --com 1=/dev/ttyUSB0); also HALVEK_COM<N>=PATH\n"
    "  --simulate     a simulated validator (demo mode) stands behind the selected COM entry\n"
    "  --connect      presses CONNECT once the window is shown\n"
    "  --version      prints the version\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt wants a display.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return 0;
        }
        if (a == "--version") {
            std::cout << "Halvek Version 1.2\n";
            return 0;
        }
    }
    QApplication app(argc, argv);  // takes the Qt options out of argv
    QApplication::setApplicationName("Halvek");
    halvek::ui::WindowOptions options;
    bool simulate = false;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        if (a == "--simulate") {
            simulate = true;
        } else if (a == "--connect") {
            options.connect = true;
        } else if (a == "--com" && i + 1 < args.size()) {
            const std::string v = args[++i].toStdString();
            halvek::PortMap check;
            const auto eq = v.find('=');
            if (!check.parseOverride(v)) {
                std::cerr << "halvek: --com takes N=PATH, not '" << v << "'\n";
                return 2;
            }
            options.comPaths.emplace_back(std::stoi(v.substr(0, eq)), v.substr(eq + 1));
        } else {
            std::cerr << "halvek: unknown option " << a << "\n" << kHelp;
            return 2;
        }
    }
    // The demo: a simulated validator that inserts bills now and then, behind the selected COM entry.
    halvek::sim::SimServer simulator;
    if (simulate) {
        if (simulator.start(&options.simulatorError)) {
            simulator.setAuto(true);
            options.simulatorPath = simulator.devicePath();
        }
    }
    halvek::ui::MainWindow window(options);
    window.show();
    return QApplication::exec();
}
