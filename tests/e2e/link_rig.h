#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "link/controller_host.h"
#include "sim/sim_server.h"
#include "support/recording_ui.h"

namespace halvek::test {

// The host's controller against the simulated validator on a pseudo-terminal,
// ticked by hand: each tick waits until its frame is out and answered.
struct LinkRig {
    explicit LinkRig(bool extended = true, sim::SimOptions options = {}) : sim(options) {
        sim.start();
        host.ports.set(1, sim.devicePath());
        host.controller.setExtendedMode(extended);
    }

    void tick() {
        host.controller.onTick();
        settle();
    }
    // Ticks at a pace the validator can follow until the condition holds.
    bool tickUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        return true;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // Serves the mailbox until the line is quiet: nothing waiting, no reply awaited.
    void settle(std::chrono::milliseconds limit = std::chrono::milliseconds(400)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
            if (host.block.transmitFree() && !host.block.awaitingReply.load()) break;
        }
    }
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& s : host.stores.history.slots())
            if (!s.empty()) out.push_back(s);
        return out;
    }

    sim::SimServer sim;
    RecordingUi ui;
    ControllerHost host{ui};
};

}  // namespace halvek::test
