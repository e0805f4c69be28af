#include "cli/monitor.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "cli/cli_link.h"
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

const std::string kUsage = std::string(
                               "usage: halvek-cli monitor (--port PATH | --com N | --simulate) [--q7 | --q7e] "
                               "[--interval MS] [--seconds S]\n") +
                           kLinkOptionsUsage + "  --seconds S   how long to run (default: until interrupted)\n";

}  // namespace

int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LinkOptions link;
    long seconds = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        if (parseLinkOption(args, i, link, error)) {
            if (error.empty()) continue;
            err << "halvek-cli monitor: " << error << "\n" << kUsage;
            return 2;
        }
        if (a == "--seconds" && i + 1 < args.size() && parseInt(args[i + 1], 0, 100000000, seconds)) {
            ++i;
        } else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else {
            err << "halvek-cli monitor: bad option " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (const std::string problem = checkLinkOptions(link); !problem.empty()) {
        err << "halvek-cli monitor: " << problem << "\n" << kUsage;
        return 2;
    }
    std::string port = link.port;
    std::unique_ptr<sim::SimServer> simulator;
    if (link.simulate) {
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
    host.controller.setComPortIndex(port.empty() ? static_cast<int>(link.com) - 1 : 0);
    host.controller.setExtendedMode(link.extended);
    host.controller.setPollInterval(static_cast<int>(link.interval));
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
