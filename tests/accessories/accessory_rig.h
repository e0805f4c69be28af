#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "accessories/accept_all_session.h"
#include "accessories/cassette_controls_session.h"
#include "accessories/cassette_data_session.h"
#include "accessories/ticket_printer_session.h"
#include "link/controller_host.h"
#include "sim/printer/printer_sim.h"
#include "sim/sim_server.h"
#include "support/recording_ui.h"

namespace halvek::test {

// The user interface as the program wires it: the status decoding's coupon
// and accept-all calls go on to the sessions.
struct ForwardingUi : RecordingUi {
    void refreshView(View v) override {
        RecordingUi::refreshView(v);
        if (v == View::CassetteControls && controls) controls->onSensorReply(stores->cassette.stackerSensor);
    }
    TicketPrinterSession* printer = nullptr;
    AcceptAllSession* acceptAll = nullptr;
    CassetteControlsSession* controls = nullptr;
    Stores* stores = nullptr;
};

// The host's controller and the accessory sessions against the simulated
// validator and printer, each on its pseudo-terminal, ticked by hand.
struct AccessoryRig {
    explicit AccessoryRig(bool extended = true) {
        sim.start();
        printerSim.start();
        host.ports.set(1, sim.devicePath());
        host.ports.set(2, printerSim.devicePath());
        host.controller.setExtendedMode(extended);
        printer.setValidatorPath([this] { return host.controller.portPath(); });
        host.controller.addStatusListener(&printer);
        ui.printer = &printer;
        ui.acceptAll = &acceptAll;
        ui.controls = &controls;
        ui.stores = &host.stores;
    }

    void tick() {
        host.controller.onTick();
        settle();
    }
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
    void settle(std::chrono::milliseconds limit = std::chrono::milliseconds(400)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
            if (host.block.transmitFree() && !host.block.awaitingReply.load()) break;
        }
    }
    // Connects and lets the start-up reads pass.
    void connect() {
        host.controller.connect();
        ticks(12);
    }

    sim::SimServer sim;
    sim::PrinterSim printerSim;
    ForwardingUi ui;
    ControllerHost host{ui};
    TicketPrinterSession printer{host.ports, ui, host.controller};
    AcceptAllSession acceptAll{host.controller, ui};
    CassetteControlsSession controls{host.controller, ui};
    CassetteDataSession cassette{host.controller, ui};
};

}  // namespace halvek::test
