#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_server.h"
#include "support/fresh_dir.h"
#include "support/qt_pump.h"
#include "ui/main/main_window.h"

namespace halvek::ui::test {

using namespace std::chrono_literals;

using halvek::test::pumpUntil;

inline std::string tempDir() { return halvek::test::freshDir("halvek-ui-"); }

// A main window whose COM 1 is the simulated validator (or a device that is
// not there), with its message boxes recorded and answered OK.
struct Rig {
    explicit Rig(bool simulated = true, bool simulatorFlag = false) : dir(tempDir()) {
        if (simulated) sim.start();
        WindowOptions o;
        o.comPaths = {{1, simulated ? sim.devicePath() : "/dev/halvek-none"}};
        if (simulatorFlag) {
            o.simulatorPath = sim.devicePath();
            o.insertBill = [this] { return sim.insertBill(); };
        }
        o.settingsPath = dir + "/halvek.ini";
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return Answer::Ok;
        });
        window->show();
    }
    bool connect() {
        window->controller().setPollInterval(100);
        window->pressConnect();
        return pumpUntil([this] { return window->windowTitle().endsWith(" connected"); });
    }

    sim::SimServer sim;
    std::string dir;
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
};

}  // namespace halvek::ui::test
