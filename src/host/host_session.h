#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/line_options.h"
#include "link/controller_host.h"
#include "link/poll_loop.h"
#include "link/user_interface.h"

namespace halvek::sim {
class SimServer;
}

namespace halvek {

// Called after the steps of a session's run: after each tick of the
// controller, after each handled reply, and every `period` by the session's clock.
struct RunHooks {
    std::function<void()> afterTick;
    std::function<void()> afterReply;
    std::chrono::milliseconds period{0};
    std::function<void()> everyPeriod;

    // The same after every tick and every reply.
    static RunHooks afterEach(const std::function<void()>& f) { return {f, f, std::chrono::milliseconds(0), {}}; }
    static RunHooks every(std::chrono::milliseconds period, std::function<void()> f) {
        return {{}, {}, period, std::move(f)};
    }
};

// One validator line as a program without a window holds it: the line chosen
// (a device, a COM entry or the simulated validator inside), the controller
// and the loop that drives it, the reads the program waits for, and a user
// interface that prints the core's messages as "NAME: title: text (detail)".
// It does not care what drives it: a run is a series of loop steps. By
// default the session's own thread drives the line in a LineLoop; a factory
// given makes the loop instead, over a line its reader thread drives.
class HostSession {
  public:
    using Clock = std::chrono::steady_clock;
    using LoopFactory = std::function<std::unique_ptr<PollLoop>(ControllerHost&)>;

    using Hooks = RunHooks;

    HostSession(std::string name, std::ostream& err, LoopFactory makeLoop = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // How the core's messages are printed: "PREFIX: title: text (detail)" on
    // the stream (by default the session's name on the error stream; an empty
    // prefix prints the message alone). A handler takes them instead.
    void setMessageLine(std::ostream& stream, std::string prefix);
    void setMessageHandler(std::function<Answer(const Message&)> handler);
    // Receives everything else the core shows (pages, titles, views); the poll
    // timer stays the loop's.
    void setView(UserInterface* view) { view_ = view; }

    // A program that plays the machine controller (it accepts bills in escrow,
    // and the simulated validator takes bills by itself); one that only reads,
    // sets or loads leaves a bill in escrow to the unit, which returns it.
    void setPlaysMachineController(bool on) { machineController_ = on; }
    // Says "halvek-cli: simulated validator on PATH" once the simulator runs.
    void setAnnounceSimulator(bool on) { announceSimulator_ = on; }

    // Starts the simulated validator when asked for, and points the
    // controller at the line with the frames and the interval chosen. False,
    // with the reason printed, when the loop could not be made (no timer) or
    // the simulator does not start.
    bool startLine(const LinkOptions& options);
    // Presses CONNECT: false when the line does not open (the core's message
    // has named the device and the reason).
    bool connect();
    bool open(const LinkOptions& options) { return startLine(options) && connect(); }

    // Runs the loop until done() holds (true), the deadline passes or the line's
    // reader is gone (false). done() is asked before every step.
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline, const Hooks& hooks = {});
    bool runFor(const std::function<bool()>& done, std::chrono::milliseconds timeout, const Hooks& hooks = {}) {
        return runUntil(done, Clock::now() + timeout, hooks);
    }
    // Waits until the unit answers and the start-up reads are through (the bill
    // table, the revision, the set-up byte and the sensor data are then known);
    // on time-out it says that the validator on the device did not answer.
    bool waitForStartup(std::chrono::milliseconds timeout = std::chrono::seconds(15));

    // Reads the program waits for. While the session runs, a read kept asked
    // that the link gives up (its reply lost or late, after the link's own
    // retries) is asked again at once: the program waits for the data, not for
    // one frame. A refusal or a reply too short for its data is not asked
    // again: asked again, it would bring no more. `ask` places the read
    // (default: the controller's request of the code).
    void keepAsking(uint8_t code, std::function<void()> ask = {});
    void stopAsking(uint8_t code);
    // Asks for a read and keeps it asked.
    void ask(uint8_t code);
    // Asks for the commands and waits until each has brought a reply, asking
    // again what the link gives up; a refusal or a reply too short ends the
    // wait. What did not come is said ("the validator did not answer ...").
    bool readAll(const std::vector<uint8_t>& codes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The same, with "read diagn.(0)" asking for the data of the selector given.
    bool readAll(const std::vector<uint8_t>& codes, uint8_t diagnosticsSelector,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // How many reads were asked again since the session began.
    uint32_t askedAgain() const { return askedAgain_; }

    // EXIT: closes the line and stops its reader; the simulator stops with the session.
    void close();

    ControllerHost& host() { return *host_; }
    LinkController& controller() { return host_->controller; }
    Stores& stores() { return host_->stores; }
    PollLoop& loop() { return *loop_; }
    // The loop that drives the line on the session's thread, where descriptors
    // of the program's own can be added (null when a factory made the loop).
    LineLoop* lineLoop() { return lineLoop_; }
    UserInterface& ui();
    sim::SimServer* simulator() { return simulator_.get(); }
    const std::string& name() const { return name_; }
    // The device the controller opens, as it may be shown on a terminal.
    std::string shownDevice() const;

  private:
    class Ui;
    struct Kept {
        uint8_t code;
        std::function<void()> ask;
        bool inFlight = false;
        uint32_t replies = 0;
    };
    void followKept();
    void say(const std::string& text);

    std::string name_;
    std::ostream& err_;
    bool machineController_ = false;
    bool announceSimulator_ = false;
    UserInterface* view_ = nullptr;
    std::vector<Kept> kept_;
    uint32_t askedAgain_ = 0;
    LinkCounters seen_;  // as last looked at for the kept reads
    // Declared in this order: the line closes before the simulator behind it stops.
    std::unique_ptr<sim::SimServer> simulator_;
    std::unique_ptr<Ui> ui_;
    std::unique_ptr<ControllerHost> host_;
    std::unique_ptr<PollLoop> loop_;
    LineLoop* lineLoop_ = nullptr;
};

}  // namespace halvek
