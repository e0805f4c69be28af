#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "sim/replay/capture_trace.h"
#include "link/controller_host.h"
#include "link/texts.h"
#include "support/recording_ui.h"

namespace halvek::test {

// Writes every frame the reader thread sends and receives as a capture file does.
class CaptureRecorder : public FrameTap {
  public:
    void captureFrame(const uint8_t* frame, size_t length, bool sent) override {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
        sim::CapturedFrame f;
        f.timeMs = static_cast<uint64_t>(ms.count());
        f.sent = sent;
        f.bytes.assign(frame, frame + length);
        std::lock_guard lock(mutex_);
        text_ += sim::formatCaptureEntry(f);
    }
    std::string text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    std::mutex mutex_;
    std::string text_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The host's controller on a device, ticked by hand; after every tick it notes
// what the console monitor would print ("title: ", "command: ", "event: ", "state: ").
struct SessionRig {
    explicit SessionRig(const std::string& device, bool extended = true) {
        host.ports.set(1, device);
        host.controller.setExtendedMode(extended);
    }
    ~SessionRig() { host.close(); }

    bool connect() {
        const bool ok = host.controller.connect();
        note();
        return ok;
    }
    void tick() {
        host.controller.onTick();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(600);  // a silent unit costs the whole wait
        while (std::chrono::steady_clock::now() < deadline) {
            host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
            if (host.block.transmitFree() && !host.block.awaitingReply.load()) break;
        }
        note();
    }

    void note() {
        for (; titles < ui.titles.size(); ++titles) lines.push_back("title: " + ui.titles[titles]);
        noteNew("command", host.stores.history.slots(), host.stores.history.counter(), commands);
        noteNew("event", host.stores.events.lines(), host.stores.events.counter(), events);
        const int s = host.controller.currentState();
        if (s != state) {
            state = s;
            lines.push_back(std::string("state: ") + (s == 0 ? "none" : text::stateName(s)));
        }
    }

    template <class Lines>
    void noteNew(const char* kind, const Lines& list, uint32_t counter, uint32_t& seen) {
        const uint32_t fresh = std::min<uint32_t>(counter - seen, static_cast<uint32_t>(list.size()));
        size_t filled = 0;
        while (filled < list.size() && !list[filled].empty()) ++filled;
        for (size_t i = filled - fresh; i < filled; ++i) lines.push_back(std::string(kind) + ": " + list[i]);
        seen = counter;
    }

    RecordingUi ui;
    ControllerHost host{ui};
    std::vector<std::string> lines;
    size_t titles = 0;
    uint32_t commands = 0, events = 0;
    int state = 0;
};

}  // namespace halvek::test
