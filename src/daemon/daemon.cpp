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
#include <optional>
#include <random>
#include <vector>

#include "daemon/link_backend.h"
#include "host/host_session.h"
#include "host/stop_signals.h"
#include "host/terminal_text.h"
#include "link/controller_host.h"
#include "service/server.h"
#include "sim/sim_server.h"

namespace halvek::daemon {
namespace {

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

// The server's socket and clients as watches of the line loop. They are
// renewed only when the server says its set changed (a client came or went,
// output waits for one), not at every step.
class ServerWatches {
  public:
    ServerWatches(LineLoop& loop, service::Server& server) : loop_(loop), server_(server) {}
    ~ServerWatches() { loop_.unwatch(ids_); }
    ServerWatches(const ServerWatches&) = delete;
    ServerWatches& operator=(const ServerWatches&) = delete;

    void follow() {
        if (seen_ && *seen_ == server_.fdsChanges()) return;
        seen_ = server_.fdsChanges();
        loop_.unwatch(ids_);
        ids_.clear();
        for (const pollfd& p : server_.fds())
            ids_.push_back(loop_.watch(p.fd, p.events, [this, p](short revents) {
                server_.handle({p.fd, p.events, revents});
            }));
    }

  private:
    LineLoop& loop_;
    service::Server& server_;
    std::optional<uint64_t> seen_;
    std::vector<int> ids_;
};

Clock::time_point steadyPoint(int64_t ms) { return Clock::time_point(std::chrono::milliseconds(ms)); }

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

    // The line, the controller and the loop that drives both on this thread.
    // It plays the machine controller: without --sim-bills the simulated unit
    // brings bills as the monitor's demo does (the bills are decided here all
    // the same: the backend's rules leave every one to a client or the deadline).
    HostSession session("halvekd", err);
    session.setMessageHandler([&log](const Message& m) {
        log(shownMessage(m));
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    });
    session.setPlaysMachineController(true);
    session.setAnnounceSimulator(true);
    if (!session.startLine(o.link)) return 1;
    const std::string port = o.link.simulate ? session.simulator()->devicePath() : o.link.port;
    LineLoop& loop = *session.lineLoop();
    LinkController& controller = session.controller();

    service::EscrowPolicyOptions policy;
    policy.escrowTimeoutMs = o.escrowTimeoutMs;
    policy.defaultAction = o.escrowDefault;
    LinkBackend backend(controller, journal, policy, {steadyMs, wallMs}, log);
    controller.addStatusListener(&backend);

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

    if (!session.connect()) {
        log(session.host().block.port.lastError());
        return 1;
    }
    backend.recover();
    backend.step();

    std::signal(SIGPIPE, SIG_IGN);
    std::optional<StopSignals> stop(std::in_place, &loop);
    sd_notify(0, "READY=1");
    uint64_t watchdogUs = 0;
    const bool watchdog = sd_watchdog_enabled(0, &watchdogUs) > 0 && watchdogUs > 0;
    const auto watchdogEvery = std::chrono::microseconds(watchdogUs / 2);
    auto nextWatchdog = Clock::now();

    // One thread, one sleep: the line, the poll timer, the socket and its
    // clients and the stop signals all end it. Between ticks it wakes only for
    // what came, or for the escrow's or the service manager's next deadline.
    ServerWatches watches(loop, server);
    while (!stop->requested()) {
        if (watchdog && Clock::now() >= nextWatchdog) {
            sd_notify(0, "WATCHDOG=1");
            nextWatchdog = Clock::now() + watchdogEvery;
        }
        auto wake = watchdog ? nextWatchdog : Clock::time_point::max();
        if (const auto escrow = backend.nextDeadlineMs()) wake = std::min(wake, steadyPoint(*escrow));
        watches.follow();
        if (loop.runOnce(wake) == PollLoop::Step::Closed) break;
        server.tidy();
        backend.step();
    }
    sd_notify(0, "STOPPING=1");
    stop.reset();
    session.close();
    log("stopped; " + controller.linkSummary());
    if (backend.failedWrites() > 0) {
        log(std::to_string(backend.failedWrites()) + " money records were not written to the journal " + o.journalPath);
        return 1;
    }
    return 0;
}

}  // namespace halvek::daemon
