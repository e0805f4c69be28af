#pragma once

#include <vector>

#include "link/command_table.h"
#include "link/link_controller.h"
#include "link/place_command.h"
#include "protocol/frame.h"
#include "support/recording_ui.h"

namespace halvek::test {

// A controller without a line: frames it places are taken from the transmit
// buffer by hand, and replies are put into the receive buffer by hand.
struct ControllerBench {
    // The start-up reads are left out unless a test asks for them.
    explicit ControllerBench(bool extended = true, bool startupReads = false) : startupReads_(startupReads) {
        block.extendedMode = extended;
        controller.setClock([this] { return now; });
        if (!startupReads) controller.setStartupCountdown(0);
    }
    // Lets time pass and ticks, as the poll timer does.
    void tick(int64_t ms = 350) {
        now += ms;
        controller.onTick();
    }

    std::vector<uint8_t> waiting() const {
        return {block.transmitBuffer.begin(), block.transmitBuffer.begin() + block.transmitLength.load()};
    }
    // Takes the waiting frame off, as the reader thread does when it writes it.
    std::vector<uint8_t> take() {
        auto f = waiting();
        block.transmitLength = 0;
        block.awaitingReply = true;
        return f;
    }
    void replyFrame(const std::vector<uint8_t>& frame) {
        std::fill(block.receiveBuffer.begin(), block.receiveBuffer.end(), 0xEE);  // stale bytes
        std::copy(frame.begin(), frame.end(), block.receiveBuffer.begin());
        block.receiveExtended = block.extendedMode.load();
        // As the reader hands it over: the answer to the frame taken last, or unasked.
        block.receiveAwaited = block.awaitingReply.exchange(false);
        controller.onNotification(Notification::ReplyReady);
        // The first answer starts the start-up reads; left out unless asked for.
        if (!startupReads_) controller.setStartupCountdown(0);
    }
    // The validator's answer to CODE. Data are taken only from the answer to a
    // command that asked for them, so the command is sent first when it was not.
    void reply(uint8_t code, const std::vector<uint8_t>& data = {}) {
        askFor(code);
        replyFrame(encodeFrame(block.extendedMode, code, data));
    }
    void askFor(uint8_t code) {
        const CommandRow* row = findCommandRow(code);
        if (!row || !row->store || row->takenUnasked) return;
        if (controller.requestState(code) == RequestState::AwaitingReply) return;
        controller.request(code);
        controller.onTick();
        take();
    }
    void status(std::vector<uint8_t> bytes, const std::string& coupon = {}) {
        if (!block.extendedMode) bytes.resize(3);
        for (char c : coupon) bytes.push_back(static_cast<uint8_t>(c));
        reply(0xCC, bytes);
    }
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const auto& l : stores.events.lines())
            if (!l.empty()) out.push_back(l);
        return out;
    }

    bool startupReads_;
    int64_t now = 0;
    RecordingUi ui;
    CommBlock block;
    Stores stores;
    PortMap ports;
    LinkController controller{block, stores, ui, ports};
};

}  // namespace halvek::test
