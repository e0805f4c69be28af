#include "host/host_session.h"

#include <algorithm>

#include "host/terminal_text.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"

namespace halvek {

// Prints the core's messages and answers each with its default button (the
// command line was the user's yes); the poll timer is the session's loop.
class HostSession::Ui : public UserInterface {
  public:
    Ui(HostSession& session, std::ostream& err) : stream_(&err), prefix_(session.name_), session_(session) {}

    Answer showMessage(const Message& m) override {
        if (handler_) return handler_(m);
        *stream_ << (prefix_.empty() ? "" : prefix_ + ": ") << shownMessage(m) << "\n" << std::flush;
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void showPage(TabRow row, int index, bool moveTab) override {
        if (view()) view()->showPage(row, index, moveTab);
    }
    void repaintDrawingArea(bool erase) override {
        if (view()) view()->repaintDrawingArea(erase);
    }
    void setWindowTitle(const std::string& title) override {
        if (view()) view()->setWindowTitle(title);
    }
    void setModeCaption(const std::string& caption) override {
        if (view()) view()->setModeCaption(caption);
    }
    void setConnectionControlsEnabled(bool enabled) override {
        if (view()) view()->setConnectionControlsEnabled(enabled);
    }
    void refreshView(View v) override {
        if (view()) view()->refreshView(v);
    }
    void startPollTimer(int ms) override {
        if (session_.loop_) session_.loop_->startTimer(ms);
    }
    void stopPollTimer() override {
        if (session_.loop_) session_.loop_->stopTimer();
    }

    std::ostream* stream_;
    std::string prefix_;
    std::function<Answer(const Message&)> handler_;

  private:
    UserInterface* view() const { return session_.view_; }
    HostSession& session_;
};

HostSession::HostSession(std::string name, std::ostream& err, LoopFactory makeLoop)
    : name_(std::move(name)), err_(err) {
    ui_ = std::make_unique<Ui>(*this, err);
    if (makeLoop) {
        host_ = std::make_unique<ControllerHost>(*ui_);
        loop_ = makeLoop(*host_);
    } else {
        host_ = std::make_unique<ControllerHost>(*ui_, LineDriver::OwnLoop);
        auto own = std::make_unique<LineLoop>(*host_);
        lineLoop_ = own.get();
        loop_ = std::move(own);
    }
}

HostSession::~HostSession() { close(); }

void HostSession::close() {
    // Nothing more is shown: the views and handlers may be gone before the session.
    view_ = nullptr;
    ui_->handler_ = {};
    host_->close();
    if (simulator_) simulator_->stop();
}

UserInterface& HostSession::ui() { return *ui_; }

void HostSession::setMessageLine(std::ostream& stream, std::string prefix) {
    ui_->stream_ = &stream;
    ui_->prefix_ = std::move(prefix);
}

void HostSession::setMessageHandler(std::function<Answer(const Message&)> handler) {
    ui_->handler_ = std::move(handler);
}

void HostSession::say(const std::string& text) { err_ << name_ << ": " << text << "\n"; }

std::string HostSession::shownDevice() const { return escapeForTerminal(host_->controller.portPath()); }

bool HostSession::startLine(const LinkOptions& o) {
    // A loop without its timer would never poll: the run would sit silent.
    if (lineLoop_ && !lineLoop_->error().empty()) {
        say(lineLoop_->error());
        return false;
    }
    std::string port = o.port;
    if (o.simulate) {
        simulator_ = std::make_unique<sim::SimServer>();
        std::string error;
        if (!simulator_->start(&error)) {
            say("the simulated validator did not start: " + error);
            return false;
        }
        if (o.simBills >= 0)
            simulator_->setBillEvery(static_cast<int>(o.simBills));
        else
            simulator_->setAuto(machineController_);
        port = simulator_->devicePath();
        // Said by the program, not the command: "halvek-cli: ..." for "halvek-cli capture".
        if (announceSimulator_) err_ << name_.substr(0, name_.find(' ')) << ": simulated validator on " << port << "\n";
    }
    host_->stores.escrow.autoAccept = machineController_;
    selectLine(*host_, port, o.com);
    LinkController& c = host_->controller;
    c.setExtendedMode(o.extended);
    c.setPollInterval(static_cast<int>(o.interval));
    return true;
}

bool HostSession::connect() { return host_->controller.connect(); }

// Only a read the link gave up is asked again: one refused or answered too
// short also ends without its reply, but would end so again. It is looked at
// after every step and every hook, so a read given up in a hook's own tick is
// asked again before anyone takes it for failed.
void HostSession::followKept() {
    LinkController& c = host_->controller;
    const LinkCounters counters = c.linkCounters();
    const bool gaveUp = counters.givenUp != seen_.givenUp;
    const bool refused = counters.refused != seen_.refused || counters.unusable != seen_.unusable;
    seen_ = counters;
    for (Kept& k : kept_) {
        const bool ended = c.requestState(k.code) == RequestState::Idle && c.repliesTaken(k.code) == k.replies;
        if (gaveUp && !refused && k.inFlight && ended) {
            ++askedAgain_;
            if (k.ask)
                k.ask();
            else
                c.request(k.code);
        }
        k.inFlight = c.requestState(k.code) != RequestState::Idle;
        k.replies = c.repliesTaken(k.code);
    }
}

bool HostSession::runUntil(const std::function<bool()>& done, Clock::time_point deadline, const Hooks& hooks) {
    // done() may watch a flag a signal or another thread sets. The session's
    // own loop ends its step when a stop signal comes (StopSignals wakes it,
    // even when the signal came just before the sleep), and while it polls,
    // every tick asks again: nothing wakes it between ticks. Otherwise (a loop
    // that serves a reader thread sleeps through signals, a stopped timer
    // brings no ticks) done() is asked this often at least.
    constexpr auto kAskDoneEvery = std::chrono::milliseconds(200);
    const bool periodic = hooks.everyPeriod && hooks.period.count() > 0;
    followKept();
    auto nextPeriod = Clock::now() + hooks.period;
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        auto until = lineLoop_ && loop_->timerRunning() ? deadline : std::min(deadline, now + kAskDoneEvery);
        if (periodic) until = std::min(until, nextPeriod);
        const PollLoop::Step s = loop_->runOnce(until);
        if (s == PollLoop::Step::Closed) return false;
        followKept();
        if (s == PollLoop::Step::Tick && hooks.afterTick) hooks.afterTick();
        if (s == PollLoop::Step::Reply && hooks.afterReply) hooks.afterReply();
        if (periodic && Clock::now() >= nextPeriod) {
            nextPeriod += hooks.period;
            hooks.everyPeriod();
        }
        followKept();
    }
    return true;
}

bool HostSession::waitForStartup(std::chrono::milliseconds timeout) {
    LinkController& c = host_->controller;
    auto idle = [&c] {
        for (int code = 1; code < 256; ++code)
            if (c.requestState(static_cast<uint8_t>(code)) != RequestState::Idle) return false;
        return true;
    };
    const bool ok = runFor([&] { return c.linkConnected() && c.startupCountdown() == 0 && idle(); }, timeout);
    if (!ok) say("no answer from the validator on " + shownDevice());
    return ok;
}

void HostSession::keepAsking(uint8_t code, std::function<void()> ask) {
    stopAsking(code);
    const LinkController& c = host_->controller;
    if (kept_.empty()) seen_ = c.linkCounters();
    kept_.push_back({code, std::move(ask), c.requestState(code) != RequestState::Idle, c.repliesTaken(code)});
}

void HostSession::stopAsking(uint8_t code) {
    kept_.erase(std::remove_if(kept_.begin(), kept_.end(), [code](const Kept& k) { return k.code == code; }),
                kept_.end());
}

void HostSession::ask(uint8_t code) {
    keepAsking(code);
    host_->controller.request(code);
    kept_.back().inFlight = host_->controller.requestState(code) != RequestState::Idle;
}

bool HostSession::readAll(const std::vector<uint8_t>& codes, std::chrono::milliseconds timeout) {
    return readAll(codes, kSensorSelector, timeout);
}

bool HostSession::readAll(const std::vector<uint8_t>& codes, uint8_t selector, std::chrono::milliseconds timeout) {
    LinkController& c = host_->controller;
    std::vector<uint32_t> before;
    for (uint8_t code : codes) before.push_back(c.repliesTaken(code));
    if (std::find(codes.begin(), codes.end(), cmd::ReadDiagn0) != codes.end() && selector != kSensorSelector &&
        !c.diagnosticsAvailable()) {
        say("the validator's firmware has no diagnostics data");
        return false;
    }
    for (uint8_t code : codes) {
        if (code != cmd::ReadDiagn0) {
            keepAsking(code);
        } else if (selector == kSensorSelector) {
            keepAsking(code, [&c] { c.requestSensorData(); });
        } else {
            keepAsking(code, [&c, selector] {
                c.setDiagnosticsSelector(selector);
                c.request(cmd::ReadDiagn0);
            });
        }
        Kept& k = kept_.back();
        if (k.ask)
            k.ask();
        else
            c.request(code);
        k.inFlight = c.requestState(code) != RequestState::Idle;
    }
    const uint32_t refusedBefore = c.linkCounters().refused, unusableBefore = c.linkCounters().unusable;
    auto refused = [&] { return c.linkCounters().refused != refusedBefore; };
    // A reply too short for its data ends the wait too: asked again, it would be as short.
    auto unusable = [&] { return c.linkCounters().unusable != unusableBefore; };
    auto answered = [&] {
        for (size_t i = 0; i < codes.size(); ++i)
            if (c.repliesTaken(codes[i]) == before[i]) return false;
        return true;
    };
    runFor([&] { return answered() || refused() || unusable(); }, timeout);
    for (uint8_t code : codes) stopAsking(code);
    if (answered()) return true;
    for (size_t i = 0; i < codes.size(); ++i)
        if (c.repliesTaken(codes[i]) == before[i]) {
            const CommandInfo* info = findCommand(codes[i]);
            const char* what = refused() ? "refused" : unusable() ? "sent too short a reply to" : "did not answer";
            say(std::string("the validator ") + what + " \"" + (info ? info->name : "?") + "\"");
        }
    return false;
}

}  // namespace halvek
