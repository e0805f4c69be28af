// What the validator service costs and how fast it tells: halvekd runs as a
// child process on a simulated validator in this process, polling every
// 100 ms, and is measured only from outside, through its command line, its
// socket and /proc.
//   service_bench [POLLS] [BILLS] [--wire-time]
// Four runs of POLLS polls each (600 by default), counted from the moment the
// daemon has read the unit and taken it out of inhibit: a controller and 1 or
// 100 observers watching, with no bill or with bills coming in one after the
// other (the controller accepts each at once). For each run: the daemon's
// processor time (utime + stime of /proc/PID/stat) per poll and as a share of
// one core, its resident memory (VmRSS) at the end and its peak (VmHWM).
// Then BILLS bills (300 by default) with one observer for the latency: from
// the moment the simulated unit starts to answer a poll with the bill in escrow
// to the moment the controller has read the escrow EVENT line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/catalogue.h"
#include "serial/frame_layout.h"
#include "sim/sim_server.h"
#include "sim/unit_bits.h"
#include "support/child_process.h"


namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
constexpr int kIntervalMs = 100;
constexpr int kSettlePolls = 10;  // polls let go by after start-up before measuring
constexpr auto kStall = std::chrono::seconds(30);
constexpr const char* kEscrowMark = "\"kind\":\"escrow\"";

// Watches the simulated unit: counts the status polls in its log, and notes
// when it first answers a poll with a bill in escrow (its status reply, as the
// reply starts to go out on the line).
class UnitWatch {
  public:
    void onLog(const std::string& line) {  // the simulator's thread
        if (line.rfind("<- ", 0) != 0 || line.find(" CC status") == std::string::npos) return;
        std::lock_guard lock(mutex_);
        ++polls_;
    }
    void onReply(const halvek::sim::Bytes& frame) {  // the simulator's thread
        const auto now = Clock::now();
        if (frame.size() < halvek::smallestFrameSize(false) || frame[0] != halvek::kStx) return;
        const bool extended = frame[1] == 0x00;
        if (frame.size() < halvek::smallestFrameSize(extended) + 1 ||
            frame[halvek::codeOffset(extended)] != halvek::cmd::Status)
            return;
        const bool escrow = frame[halvek::dataOffset(extended)] & halvek::sim::s0::Escrow;
        std::lock_guard lock(mutex_);
        if (escrow && !showedEscrow_) answered_.push_back(now);
        showedEscrow_ = escrow;
    }
    long polls() {
        std::lock_guard lock(mutex_);
        return polls_;
    }
    // When the unit first showed the oldest bill not yet taken; none when it has not yet.
    std::optional<Clock::time_point> takeAnswer() {
        std::lock_guard lock(mutex_);
        if (answered_.empty()) return std::nullopt;
        const Clock::time_point t = answered_.front();
        answered_.pop_front();
        return t;
    }

  private:
    std::mutex mutex_;
    long polls_ = 0;
    bool showedEscrow_ = false;
    std::deque<Clock::time_point> answered_;
};

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    ::close(fd);
    return -1;
}

void sendLine(int fd, const json& j) {
    const std::string s = j.dump() + "\n";
    if (::send(fd, s.data(), s.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(s.size()))
        std::fprintf(stderr, "service_bench: a request did not go out whole\n");
}

// The controller (the first connection) and the observers, all read on one
// thread that waits in poll(): the controller accepts every bill as soon as
// its escrow line is in, the observers' lines are read and dropped.
class Clients {
  public:
    Clients(const std::string& socket, int observers, UnitWatch& unit) : unit_(unit) {
        for (int i = 0; i <= observers; ++i) {
            const int fd = connectTo(socket);
            if (fd < 0) continue;
            sendLine(fd, {{"cmd", "hello"}, {"name", "bench"}, {"role", i == 0 ? "controller" : "observer"}});
            sendLine(fd, {{"cmd", "watch"}});
            fds_.push_back(fd);
        }
        observerEscrows_.assign(fds_.size(), 0);
        thread_ = std::thread([this] { readAll(); });
    }
    ~Clients() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : fds_) ::close(fd);
    }
    bool allConnected(int observers) const { return static_cast<int>(fds_.size()) == observers + 1; }
    int settled() const { return settled_; }
    int dropped() const { return dropped_; }
    // Observers that were told of fewer bills in escrow than the controller; the
    // last bill may have reached the controller only when the reading stopped.
    int observersBehind() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        int behind = 0;
        for (size_t i = 1; i < observerEscrows_.size(); ++i) behind += observerEscrows_[i] + 1 < escrows_;
        return behind;
    }
    std::vector<double> latenciesMs() {
        std::lock_guard lock(mutex_);
        return latencies_;
    }

  private:
    void readAll() {
        std::vector<pollfd> p;
        for (int fd : fds_) p.push_back({fd, POLLIN, 0});
        std::vector<std::string> pending(fds_.size());
        char chunk[65536];
        while (!stop_) {
            if (::poll(p.data(), p.size(), 100) <= 0) continue;
            for (size_t i = 0; i < p.size(); ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t n = ::recv(p[i].fd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    ++dropped_;
                    p[i].fd = -1;  // poll() passes over it from now on
                    continue;
                }
                pending[i].append(chunk, static_cast<size_t>(n));
                for (size_t nl; (nl = pending[i].find('\n')) != std::string::npos; pending[i].erase(0, nl + 1)) {
                    if (i == 0)
                        onControllerLine(pending[0].substr(0, nl));
                    else if (pending[i].find(kEscrowMark) < nl)
                        ++observerEscrows_[i];
                }
            }
        }
    }
    void onControllerLine(const std::string& line) {
        const auto now = Clock::now();
        const json m = json::parse(line, nullptr, false);
        if (!m.is_object() || m.value("class", "") != "EVENT" || !m.contains("seq")) return;
        const std::string kind = m.value("kind", "");
        if (kind == "escrow") {
            ++escrows_;
            if (const auto answered = unit_.takeAnswer()) {
                std::lock_guard lock(mutex_);
                latencies_.push_back(std::chrono::duration<double, std::milli>(now - *answered).count());
            }
            sendLine(fds_[0], {{"cmd", "decide"}, {"episode", m["episode"]}, {"action", "accept"}});
        } else if (kind == "credit" || kind == "returned" || kind == "in-doubt" || kind == "rejected") {
            ++settled_;
        }
    }

    UnitWatch& unit_;
    std::vector<int> fds_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> settled_{0}, dropped_{0};
    int escrows_ = 0;                   // on the reading thread until it stopped
    std::vector<int> observerEscrows_;  // the same
    std::mutex mutex_;
    std::vector<double> latencies_;
};

// Processor time of a process and its threads, in clock ticks (utime + stime).
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(all.substr(close + 2));
    std::string f;
    long utime = 0, stime = 0;
    // After the name: state is field 3, utime field 14, stime field 15.
    for (int field = 3; field <= 15 && fields >> f; ++field) {
        if (field == 14) utime = std::stol(f);
        if (field == 15) stime = std::stol(f);
    }
    return utime + stime;
}

// A memory figure of /proc/PID/status in KiB ("VmRSS", "VmHWM"); -1 when not there.
long statusKiB(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

struct Run {
    int observers = 1;
    bool bills = false;
    int polls = 0;    // a run of this many polls, or else
    int escrows = 0;  // of this many bills in escrow
};

struct Result {
    bool ok = false;
    long polls = 0;
    double seconds = 0, cpuSeconds = 0;
    long rssKiB = 0, hwmKiB = 0;
    int dropped = 0, behind = 0;
    std::vector<double> latenciesMs;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Result measure(const Run& run, bool wireTime) {
    Result r;
    char pattern[] = "/tmp/service_bench-XXXXXX";
    const std::string dir = ::mkdtemp(pattern) ? pattern : "";
    if (dir.empty()) {
        std::perror("service_bench: a temporary folder");
        return r;
    }
    const std::string socket = dir + "/halvekd.sock", errFile = dir + "/stderr";
    UnitWatch unit;
    halvek::sim::SimServer sim;
    sim.setLog([&unit](const std::string& line) { unit.onLog(line); });
    sim.setReplyTap([&unit](const halvek::sim::Bytes& frame) { unit.onReply(frame); });
    sim.setWireTime(wireTime);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "service_bench: simulator: %s\n", error.c_str());
        return r;
    }
    const pid_t pid = halvek::test::spawnProcess({HALVEKD_PATH, "--port", sim.devicePath(), "--interval", std::to_string(kIntervalMs),
                                   "--socket", socket, "--journal", dir + "/journal"},
                                  errFile);
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "service_bench: %s\n%s", what, readFile(errFile).c_str());
    };
    const bool up = pid > 0 && halvek::test::waitUntil(
                                   [&] {
                                       const int fd = connectTo(socket);
                                       if (fd >= 0) ::close(fd);
                                       return fd >= 0;
                                   },
                                   std::chrono::seconds(10));
    if (up) {
        Clients clients(socket, run.observers, unit);
        auto unitTakesBills = [&] {
            return sim.withModel([](halvek::sim::ValidatorModel& m) {
                return !(m.setupByte() & halvek::sim::setupbit::Inhibit) &&
                       m.phase() == halvek::sim::ValidatorModel::Phase::Idle;
            });
        };
        // Start-up: the unit read, a controller there, the unit out of inhibit, a few quiet polls.
        long startPolls = 0;
        const bool ready =
            clients.allConnected(run.observers) && halvek::test::waitUntil(unitTakesBills, std::chrono::seconds(30)) &&
            (startPolls = unit.polls(),
             halvek::test::waitUntil([&] { return unit.polls() >= startPolls + kSettlePolls; }, std::chrono::seconds(30)));
        if (ready) {
            const long ticks0 = cpuTicks(pid), polls0 = unit.polls();
            const auto t0 = Clock::now();
            int inserted = 0;
            auto lastProgress = Clock::now();
            auto done = [&] {
                return run.escrows > 0 ? static_cast<int>(clients.latenciesMs().size()) >= run.escrows
                                       : unit.polls() - polls0 >= run.polls;
            };
            while (!done() && Clock::now() - lastProgress < kStall) {
                // One bill at a time: the next goes in once the last is settled and the unit is idle again.
                if (run.bills && clients.settled() == inserted && unitTakesBills() && sim.execute("insert 3").empty()) {
                    ++inserted;
                    lastProgress = Clock::now();
                }
                if (!run.bills) lastProgress = Clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            r.ok = done();
            r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            r.polls = unit.polls() - polls0;
            r.cpuSeconds = static_cast<double>(cpuTicks(pid) - ticks0) / static_cast<double>(::sysconf(_SC_CLK_TCK));
            r.rssKiB = statusKiB(pid, "VmRSS");
            r.hwmKiB = statusKiB(pid, "VmHWM");
            if (!r.ok) fail("the run stalled: no bill settled for 30 s");
        } else {
            fail("the daemon did not take the unit out of inhibit");
        }
        r.latenciesMs = clients.latenciesMs();
        r.behind = clients.observersBehind();
        r.dropped = clients.dropped();
    } else {
        fail("halvekd did not start");
    }
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return r;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

std::string clientsText(int observers) {
    return "controller + " + std::to_string(observers) + (observers == 1 ? " observer" : " observers");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> numbers;
    bool wireTime = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wire-time") == 0)
            wireTime = true;
        else
            numbers.push_back(std::atoi(argv[i]));
    }
    const int polls = numbers.size() > 0 ? numbers[0] : 600;
    const int bills = numbers.size() > 1 ? numbers[1] : 300;
    if (numbers.size() > 2 || polls <= 0 || bills <= 0) {
        std::fprintf(stderr, "usage: service_bench [POLLS] [BILLS] [--wire-time]\n");
        return 2;
    }
    std::printf("service_bench: halvekd at --interval %d, %d polls a run after start-up, wire time %s\n", kIntervalMs,
                polls, wireTime ? "on" : "off");
    std::printf("%-28s %-6s %10s %10s %9s %9s %24s\n", "clients", "bills", "cpu/poll", "of a core", "VmRSS", "VmHWM",
                "escrow->EVENT median/p99");
    bool allOk = true;
    for (const bool withBills : {false, true}) {
        for (const int observers : {1, 100}) {
            const Result r = measure({observers, withBills, polls, 0}, wireTime);
            allOk = allOk && r.ok && r.dropped == 0 && r.behind == 0;
            if (!r.ok) continue;
            std::printf("%-28s %-6s %7.0f us %9.2f%% %5ld KiB %5ld KiB", clientsText(observers).c_str(),
                        withBills ? "yes" : "no", r.cpuSeconds / static_cast<double>(r.polls) * 1e6,
                        100.0 * r.cpuSeconds / r.seconds, r.rssKiB, r.hwmKiB);
            if (withBills)
                std::printf("   %5.1f / %5.1f ms (%zu)", percentile(r.latenciesMs, 0.5),
                            percentile(r.latenciesMs, 0.99), r.latenciesMs.size());
            if (r.dropped) std::printf("  (%d clients dropped)", r.dropped);
            if (r.behind) std::printf("  (%d observers missed bills)", r.behind);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    const long tick = ::sysconf(_SC_CLK_TCK);
    std::printf("(processor time counts in ticks of %.0f ms: %.0f us a poll over %d polls)\n",
                1000.0 / static_cast<double>(tick), 1e6 / static_cast<double>(tick) / polls, polls);

    const Result l = measure({1, true, 0, bills}, wireTime);
    allOk = allOk && l.ok && l.dropped == 0;
    if (l.ok) {
        std::printf("escrow -> EVENT at the controller, %s, %zu bills: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    clientsText(1).c_str(), l.latenciesMs.size(), percentile(l.latenciesMs, 0.5),
                    percentile(l.latenciesMs, 0.99), percentile(l.latenciesMs, 1.0));
    }
    return allOk ? 0 : 1;
}
