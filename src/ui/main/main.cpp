// halvek: the window.
#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "sim/sim_server.h"
#include "ui/main/command_line.h"
#include "ui/main/main_window.h"

int main(int argc, char** argv) {
    using halvek::ui::CommandLine;
    // Answered before Qt starts: Qt would abort without a display.
    const CommandLine line = halvek::ui::parseCommandLine(argc, argv);
    switch (line.action) {
        case CommandLine::Action::Help:
            std::cout << halvek::ui::kUsage;
            return 0;
        case CommandLine::Action::Version:
            std::cout << "Halvek Version 1.2\n";
            return 0;
        case CommandLine::Action::Error:
            std::cerr << "halvek: " << line.error << "\n" << halvek::ui::kUsage;
            return 2;
        case CommandLine::Action::Run:
            break;
    }
    if (!halvek::ui::displayAvailable(line, std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                      std::getenv("WAYLAND_DISPLAY"))) {
        std::cerr << "halvek: no display; use halvek-cli for the console tool\n";
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvek");
    halvek::ui::WindowOptions options;
    options.comPaths = line.comPaths;
    options.connect = line.connect;
    options.journalPath = line.journalPath;
    // The demo: a simulated validator behind the selected COM entry. It takes a
    // bill now and then, seldom enough that the pages can be looked at between
    // two Escrow pages, and one by hand from the Simulator menu.
    halvek::sim::SimServer simulator;
    if (line.simulate && simulator.start(&options.simulatorError)) {
        simulator.setBillEvery(line.simBills);
        options.simulatorPath = simulator.devicePath();
        options.insertBill = [&simulator] { return simulator.insertBill(); };
    }
    halvek::ui::MainWindow window(options);
    window.show();
    return QApplication::exec();
}
