#include "daemon/daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "daemon/link_backend.h"
#include "host/line_options.h"
#include "host/terminal_text.h"
#include "link/controller_host.h"
#include "serial/waker.h"
#include "service/server.h"
#include "sim/sim_server.h"

namespace halvek::daemon {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

using Clock = std::chrono::steady_clock;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}
int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// This run's name for the clients: they tell a restart by it.
std::string bootId() {
    std::random_device rd;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
    return buf;
}

// The core's messages and its poll timer, for a program without a window.
class DaemonUi : public NullUserInterface {
  public:
    explicit DaemonUi(std::ostream& err) : err_(err) {}
    Answer showMessage(const Message& m) override {
        err_ << "halvekd: " << escapeForTerminal(shownMessage(m)) << std::endl;
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void startPollTimer(int ms) override {
        interval_ = std::chrono::milliseconds(ms);
        nextTick_ = Clock::now() + interval_;
        running_ = true;
    }
    void stopPollTimer() override { running_ = false; }

    bool running_ = false;
    std::chrono::milliseconds interval_{350};
    Clock::time_point nextTick_{};

  private:
    std::ostream& err_;
};

}  // namespace

int runDaemon(const DaemonOptions& o, std::ostream& err) {
    auto log = [&err](const std::string& text) { err << "halvekd: " << escapeForTerminal(text) << std::endl; };

    // The journal first, held for this run alone: two daemons never number records in one file.
    const int journalLock = ::open(o.journalPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (journalLock < 0) {
        log("cannot open the money journal " + o.journalPath + ": " + std::strerror(errno));
        return 1;
    }
    if (::flock(journalLock, LOCK_EX | LOCK_NB) != 0) {
        log("the money journal " + o.journalPath + " is in use by another halvekd");
        ::close(journalLock);
        return 1;
    }
    struct LockCloser {
        int fd;
        ~LockCloser() { ::close(fd); }
    } lockCloser{journalLock};
    JournalFile journal;
    if (!journal.open(o.journalPath)) {
        log(journal.lastError());
        return 1;
    }
    if (!journal.damage().empty()) log(journal.damage());

    std::unique_ptr<sim::SimServer> simulator;
    std::string port = o.link.port;
    if (o.link.simulate) {
        simulator = std::make_unique<sim::SimServer>();
        std::string error;
        if (!simulator->start(&error)) {
            log(error);
            return 1;
        }
        // Without --sim-bills the simulated unit brings bills as the monitor's demo does.
        if (o.link.simBills >= 0)
            simulator->setBillEvery(static_cast<int>(o.link.simBills));
        else
            simulator->setAuto(true);
        port = simulator->devicePath();
        log("simulated validator on " + port);
    }

    Waker waker;
    DaemonUi ui(err);
    ControllerHost host(ui, [&waker] { waker.wake(); });
    selectLine(host, port, o.link.com);
    host.controller.setExtendedMode(o.link.extended);
    host.controller.setPollInterval(static_cast<int>(o.link.interval));

    service::EscrowPolicyOptions policy;
    policy.escrowTimeoutMs = o.escrowTimeoutMs;
    policy.defaultAction = o.escrowDefault;
    LinkBackend backend(host.controller, journal, policy, {steadyMs, wallMs}, log);
    host.controller.addStatusListener(&backend);

    service::ServerOptions so;
    so.path = o.socketPath;
    so.group = o.group;
    so.release = HALVEK_VERSION;
    so.boot = bootId();
    so.device = port;
    service::Server server(backend, so, log);
    const int handed = sd_listen_fds(1);
    const std::string socketError = handed >= 1 ? server.adopt(SD_LISTEN_FDS_START) : server.listen();
    if (!socketError.empty()) {
        log(socketError);
        return 1;
    }
    backend.setServer(&server);

    if (!host.controller.connect()) {
        log(host.block.port.lastError());
        return 1;
    }
    backend.recover();
    backend.step();

    stopRequested = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGPIPE, SIG_IGN);
    sd_notify(0, "READY=1");
    uint64_t watchdogUs = 0;
    const bool watchdog = sd_watchdog_enabled(0, &watchdogUs) > 0 && watchdogUs > 0;
    const auto watchdogEvery = std::chrono::microseconds(watchdogUs / 2);
    auto nextWatchdog = Clock::now();

    // One thread: the poll timer, the reader's hand-overs and the clients. The
    // escrow deadline is looked at every round, and a round is short.
    constexpr auto kRound = std::chrono::milliseconds(50);
    while (!stopRequested && !host.mailbox.cancelled()) {
        auto now = Clock::now();
        if (watchdog && now >= nextWatchdog) {
            sd_notify(0, "WATCHDOG=1");
            nextWatchdog = now + watchdogEvery;
        }
        if (ui.running_ && now >= ui.nextTick_) {
            ui.nextTick_ += ui.interval_;
            if (ui.nextTick_ < now) ui.nextTick_ = now + ui.interval_;  // no burst of ticks after a stall
            host.controller.onTick();
            backend.step();
            continue;
        }
        auto wake = now + kRound;
        if (ui.running_) wake = std::min(wake, ui.nextTick_);
        std::vector<pollfd> fds = server.fds();
        fds.push_back({waker.fd(), POLLIN, 0});
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
        const int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(wait, 0) + 1));
        if (n > 0) {
            if (fds.back().revents) {
                waker.drain();
                while (host.mailbox.serveOne()) backend.step();
            }
            fds.pop_back();
            for (const pollfd& p : fds)
                if (p.revents) server.handle(p);
        }
        // A reply may be waiting though the wake was drained by an earlier round.
        while (host.mailbox.serveOne()) backend.step();
        server.tidy();
        backend.step();
    }
    sd_notify(0, "STOPPING=1");
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    host.close();
    log("stopped; " + host.controller.linkSummary());
    if (backend.failedWrites() > 0) {
        log(std::to_string(backend.failedWrites()) + " money records were not written to the journal " + o.journalPath);
        return 1;
    }
    return 0;
}

}  // namespace halvek::daemon
