#include "cli/cli_link.h"

#include <cstdlib>

#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "link/kept_port.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"

namespace halvek::cli {

const char* const kLinkOptionsUsage =
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "                for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator inside and connects to it\n"
    "  --sim-bills S with --simulate: the simulated validator takes a bill about every S seconds\n"
    "                (0: none)\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n";

bool parseInt(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

bool parseLinkOption(const std::vector<std::string>& args, size_t& i, LinkOptions& o, std::string& error) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--q7") {
        o.extended = false;
    } else if (a == "--q7e") {
        o.extended = true;
    } else if (a == "--simulate") {
        o.simulate = true;
    } else if (a == "--port") {
        const std::string* v = value();
        if (!v || v->empty()) error = badValue(a, "a device path", v);
        if (v) o.port = *v;
    } else if (a == "--com") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 1, 99, o.com)) error = badValue(a, "a number from 1 to 99", v);
    } else if (a == "--sim-bills") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 0, 86400, o.simBills)) error = badValue(a, "seconds, 0 to 86400", v);
    } else if (a == "--interval") {
        const std::string* v = value();
        if (!v || !parseInt(*v, 100, 3000, o.interval)) error = badValue(a, "a number from 100 to 3000", v);
    } else {
        return false;
    }
    return true;
}

std::string checkLinkOptions(const LinkOptions& o) {
    if ((o.port.empty() ? 0 : 1) + (o.com ? 1 : 0) + (o.simulate ? 1 : 0) != 1)
        return "give exactly one of --port, --com and --simulate";
    if (o.simBills >= 0 && !o.simulate) return "--sim-bills works only with --simulate";
    return "";
}

void selectLine(ControllerHost& host, const std::string& port, long com) {
    // A console command moves no money unless it plays the machine controller
    // (monitor, capture turn it back on): a bill in escrow is left to the unit,
    // which returns it at its time-out.
    host.stores.escrow.autoAccept = false;
    if (port.empty()) {
        SettingsFile settings;
        mapKeptPort(host.ports, settings);
    } else {
        host.ports.set(1, port);
    }
    host.controller.setComPortIndex(port.empty() ? static_cast<int>(com) - 1 : 0);
}

void startSimBills(sim::SimServer& simulator, long simBills, bool busy) {
    if (simBills >= 0)
        simulator.setBillEvery(static_cast<int>(simBills));
    else
        simulator.setAuto(busy);
}

std::string comDevice(long com) {
    PortMap ports;
    SettingsFile settings;
    mapKeptPort(ports, settings);
    return ports.pathFor(static_cast<int>(com));
}

// Prints the core's messages; the poll timer is the headless loop's.
class CliLink::Ui : public NullUserInterface {
  public:
    Ui(const std::string& name, std::ostream& err) : name_(name), err_(err) {}
    void attach(HeadlessLoop* loop) { loop_ = loop; }
    Answer showMessage(const Message& m) override {
        err_ << name_ << ": " << shownMessage(m) << "\n";
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void startPollTimer(int ms) override {
        if (loop_) loop_->startTimer(ms);
    }
    void stopPollTimer() override {
        if (loop_) loop_->stopTimer();
    }

  private:
    const std::string& name_;
    std::ostream& err_;
    HeadlessLoop* loop_ = nullptr;
};

CliLink::CliLink(std::string name, std::ostream& err)
    : name_(std::move(name)),
      err_(err),
      ui_(std::make_unique<Ui>(name_, err)),
      host_(std::make_unique<ControllerHost>(*ui_)),
      loop_(std::make_unique<HeadlessLoop>(*host_)) {
    ui_->attach(loop_.get());
}

CliLink::~CliLink() {
    host_->close();
    if (simulator_) simulator_->stop();
}

bool CliLink::open(const LinkOptions& o) {
    std::string port = o.port;
    if (o.simulate) {
        simulator_ = std::make_unique<sim::SimServer>();
        std::string error;
        if (!simulator_->start(&error)) {
            err_ << name_ << ": the simulated validator did not start: " << error << "\n";
            return false;
        }
        startSimBills(*simulator_, o.simBills, false);
        port = simulator_->devicePath();
    }
    selectLine(*host_, port, o.com);
    LinkController& c = host_->controller;
    c.setExtendedMode(o.extended);
    c.setPollInterval(static_cast<int>(o.interval));
    return c.connect();
}

bool CliLink::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= end || host_->mailbox.cancelled()) return false;
        loop_->runUntil(std::min(end, Clock::now() + std::chrono::milliseconds(20)));
    }
    return true;
}

bool CliLink::waitForStartup(std::chrono::milliseconds timeout) {
    LinkController& c = host_->controller;
    auto idle = [&c] {
        for (int code = 1; code < 256; ++code)
            if (c.requestState(static_cast<uint8_t>(code)) != RequestState::Idle) return false;
        return true;
    };
    const bool ok = runUntil([&] { return c.linkConnected() && c.startupCountdown() == 0 && idle(); }, timeout);
    if (!ok) err_ << name_ << ": no answer from the validator on " << escapeForTerminal(c.portPath()) << "\n";
    return ok;
}

bool CliLink::readAll(const std::vector<uint8_t>& codes, std::chrono::milliseconds timeout) {
    return readAll(codes, kSensorSelector, timeout);
}

bool CliLink::readAll(const std::vector<uint8_t>& codes, uint8_t selector, std::chrono::milliseconds timeout) {
    LinkController& c = host_->controller;
    std::vector<uint32_t> before;
    for (uint8_t code : codes) before.push_back(c.repliesTaken(code));
    auto ask = [&](uint8_t code) {
        if (code != cmd::ReadDiagn0) {
            c.request(code);
        } else if (selector == kSensorSelector) {
            c.requestSensorData();
        } else if (!c.diagnosticsAvailable()) {
            err_ << name_ << ": the validator's firmware has no diagnostics data\n";
            return false;
        } else {
            c.setDiagnosticsSelector(selector);
            c.request(code);
        }
        return true;
    };
    for (uint8_t code : codes)
        if (!ask(code)) return false;
    // A read the link gave up on (its reply lost or late on a busy machine) is
    // asked again while the time lasts: the console waits for the data, not for one frame.
    // A refusal ("not supported") ends the wait: asking again brings no data.
    const uint32_t refusedBefore = c.linkCounters().refused, unusableBefore = c.linkCounters().unusable;
    auto refused = [&] { return c.linkCounters().refused != refusedBefore; };
    // A reply too short for its data ends the wait too: asked again, it would be as short.
    auto unusable = [&] { return c.linkCounters().unusable != unusableBefore; };
    auto answered = [&] {
        for (size_t i = 0; i < codes.size(); ++i)
            if (c.repliesTaken(codes[i]) == before[i]) return false;
        return true;
    };
    auto done = [&] {
        if (answered() || refused() || unusable()) return true;
        for (size_t i = 0; i < codes.size(); ++i)
            if (c.repliesTaken(codes[i]) == before[i] && c.requestState(codes[i]) == RequestState::Idle) ask(codes[i]);
        return false;
    };
    runUntil(done, timeout);
    if (answered()) return true;
    for (size_t i = 0; i < codes.size(); ++i)
        if (c.repliesTaken(codes[i]) == before[i]) {
            const CommandInfo* info = findCommand(codes[i]);
            const char* what = refused() ? "refused" : unusable() ? "sent too short a reply to" : "did not answer";
            err_ << name_ << ": the validator " << what << " \"" << (info ? info->name : "?") << "\"\n";
        }
    return false;
}

}  // namespace halvek::cli
