#include "cli/monitor.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "link/controller_host.h"
#include "link/texts.h"
#include "sim/sim_server.h"

namespace halvek::cli {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

// Control characters in a text are written as escapes so that one happening stays one line.
std::string oneLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

class MonitorUi : public UserInterface {
  public:
    explicit MonitorUi(std::ostream& out) : out_(out) {}

    void attach(ControllerHost* host, HeadlessLoop* loop) {
        host_ = host;
        loop_ = loop;
    }

    // Prints what was recorded since the last call, oldest first.
    void catchUp() {
        if (!host_) return;
        const Stores& s = host_->stores;
        printNew("command", s.history.slots(), s.history.counter(), commands_);
        printNew("event", s.events.lines(), s.events.counter(), events_);
        const int state = host_->controller.currentState();
        if (state != state_) {
            state_ = state;
            out_ << "state: " << (state == 0 ? "none" : text::stateName(state)) << std::endl;
        }
    }

    Answer showMessage(const Message& m) override {
        catchUp();
        out_ << "message: " << oneLine(m.title) << ": " << oneLine(m.text);
        if (!m.detail.empty()) out_ << " (" << oneLine(m.detail) << ")";
        out_ << std::endl;
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;  // the default button
    }
    void setWindowTitle(const std::string& title) override {
        catchUp();
        out_ << "title: " << oneLine(title) << std::endl;
    }
    void startPollTimer(int ms) override {
        if (loop_) loop_->startTimer(ms);
    }
    void stopPollTimer() override {
        if (loop_) loop_->stopTimer();
    }
    void showPage(TabRow, int, bool) override {}
    void repaintDrawingArea(bool) override {}
    void setModeCaption(const std::string&) override {}
    void setConnectionControlsEnabled(bool) override {}
    void refreshView(View) override {}

  private:
    template <class Lines>
    void printNew(const char* kind, const Lines& lines, uint32_t counter, uint32_t& seen) {
        const uint32_t fresh = std::min<uint32_t>(counter - seen, static_cast<uint32_t>(lines.size()));
        if (fresh == 0) return;
        // The newest entries are the last filled lines.
        size_t filled = 0;
        while (filled < lines.size() && !lines[filled].empty()) ++filled;
        for (size_t i = filled - fresh; i < filled; ++i) out_ << kind << ": " << oneLine(lines[i]) << std::endl;
        seen = counter;
    }

    std::ostream& out_;
    ControllerHost* host_ = nullptr;
    HeadlessLoop* loop_ = nullptr;
    uint32_t commands_ = 0, events_ = 0;
    int state_ = 0;
};

const char* kUsage =
    "usage: halvek-cli monitor (--port PATH | --com N | --simulate) [--q7 | --q7e] [--interval MS] [--seconds S]\n"
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N>, default /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator (demo mode) inside and connects to it\n"
    "  --q7 / --q7e  standard or extended (default) frames\n"
    "  --interval MS poll interval, 100 to 3000 (default 350)\n"
    "  --seconds S   how long to run (default: until interrupted)\n";

bool parseInt(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

}  // namespace

int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string port;
    long com = 0, interval = 350, seconds = -1;
    bool extended = true, simulate = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        const std::string* v = nullptr;
        if (a == "--port" && (v = value()))
            port = *v;
        else if (a == "--com" && (v = value()) && parseInt(*v, 1, 99, com)) {
        } else if (a == "--interval" && (v = value()) && parseInt(*v, 100, 3000, interval)) {
        } else if (a == "--seconds" && (v = value()) && parseInt(*v, 0, 100000000, seconds)) {
        } else if (a == "--q7")
            extended = false;
        else if (a == "--q7e")
            extended = true;
        else if (a == "--simulate")
            simulate = true;
        else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else {
            err << "halvek-cli monitor: bad option " << a << (v ? " " + *v : "") << "\n" << kUsage;
            return 2;
        }
    }
    if ((port.empty() ? 0 : 1) + (com ? 1 : 0) + (simulate ? 1 : 0) != 1) {
        err << "halvek-cli monitor: give exactly one of --port, --com and --simulate\n" << kUsage;
        return 2;
    }

    std::unique_ptr<sim::SimServer> simulator;
    if (simulate) {
        simulator = std::make_unique<sim::SimServer>();
        std::string error;
        if (!simulator->start(&error)) {
            err << "halvek-cli monitor: " << error << "\n";
            return 1;
        }
        simulator->setAuto(true);
        port = simulator->devicePath();
        err << "halvek-cli: simulated validator on " << port << "\n";
    }

    MonitorUi ui(out);
    ControllerHost host(ui);
    HeadlessLoop loop(host);
    ui.attach(&host, &loop);
    if (!port.empty()) host.ports.set(1, port);
    host.controller.setComPortIndex(port.empty() ? static_cast<int>(com) - 1 : 0);
    host.controller.setExtendedMode(extended);
    host.controller.setPollInterval(static_cast<int>(interval));
    if (!host.controller.connect()) {
        err << "halvek-cli monitor: " << host.block.port.lastError() << "\n";
        return 1;
    }
    // Ctrl-C or a kill ends the run as EXIT would: the line is closed properly.
    stopRequested = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    using Clock = std::chrono::steady_clock;
    const auto end = seconds < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::seconds(seconds);
    while (!stopRequested && Clock::now() < end)
        loop.runUntil(std::min(end, Clock::now() + std::chrono::milliseconds(200)), [&ui] { ui.catchUp(); });
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    host.close();
    return 0;
}

}  // namespace halvek::cli
