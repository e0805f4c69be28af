// A soak: the host polls the simulated validator at the shortest poll interval
// for a while (10 minutes unless told otherwise), with bills coming in every few
// seconds and the line paced at its real speed, and says what it cost: processor
// time of the host (its main and reader threads) and of the simulator apart, and
// the host's resident memory at the start, the end and at its peak.
//   soak_bench [SECONDS]
// The simulator runs in a child process, so the two are measured apart.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "link/controller_host.h"
#include "link/poll_interval.h"
#include "sim/sim_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// Resident memory in KiB: "VmRSS" now, "VmHWM" the peak.
long statusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == std::string(field) + ":") {
            in >> value;
            return value;
        }
        std::getline(in, key);
    }
    return -1;
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// The child: a simulated validator at the given path until it is told to stop.
[[noreturn]] void serveSimulator(const std::string& path, int ready) {
    halvek::sim::SimServer sim;
    std::string error;
    if (!sim.start(&error) || !sim.linkTo(path, &error)) {
        std::fprintf(stderr, "soak: simulator: %s\n", error.c_str());
        _exit(1);
    }
    sim.setWireTime(true);
    sim.setAuto(true);
    (void)!::write(ready, "r", 1);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int sig = 0;
    sigwait(&set, &sig);
    sim.stop();
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const int total = argc > 1 ? std::atoi(argv[1]) : 600;
    if (total <= 0) {
        std::fprintf(stderr, "usage: soak_bench [SECONDS]\n");
        return 2;
    }
    const std::string path = "/tmp/halvek-soak-" + std::to_string(getpid());
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        serveSimulator(path, pipeFds[1]);
    }
    close(pipeFds[1]);
    char ready = 0;
    if (read(pipeFds[0], &ready, 1) != 1) {
        std::fprintf(stderr, "soak: the simulator did not start\n");
        return 1;
    }

    halvek::NullUserInterface ui;
    halvek::ControllerHost host(ui);
    host.ports.set(1, path);
    if (!host.controller.connect()) {
        std::fprintf(stderr, "soak: cannot open %s\n", path.c_str());
        kill(child, SIGTERM);
        return 1;
    }
    halvek::HeadlessLoop loop(host);
    loop.startTimer(halvek::kMinPollInterval);

    const long rssStart = statusKiB("VmRSS");
    const double cpuStart = cpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    int turns = 0, maxMissed = 0;
    std::printf("soak: %d s at a poll interval of %d ms against the simulator (wire time, a bill every 3-6 s)\n", total,
                halvek::kMinPollInterval);
    for (int minute = 0; Clock::now() - start < std::chrono::seconds(total); ++minute) {
        const auto until = std::min(start + std::chrono::seconds(total), Clock::now() + std::chrono::seconds(60));
        loop.runUntil(until, [&] {
            ++turns;
            maxMissed = std::max(maxMissed, host.controller.missedPollCount());
        });
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("soak: %6.0f s  host cpu %5.2f %%  rss %ld KiB  events %u\n", elapsed,
                    100.0 * (cpuSeconds(RUSAGE_SELF) - cpuStart) / elapsed, statusKiB("VmRSS"),
                    host.stores.events.counter());
        std::fflush(stdout);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double hostCpu = cpuSeconds(RUSAGE_SELF) - cpuStart;
    const long rssEnd = statusKiB("VmRSS"), rssPeak = statusKiB("VmHWM");
    const bool connected = host.controller.linkConnected();
    loop.stopTimer();
    host.close();
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    const double simCpu = cpuSeconds(RUSAGE_CHILDREN);

    std::printf("soak: %.0f s, %d ticks and replies handled, %u events, most polls missed in a row %d, %s at the end\n",
                elapsed, turns, host.stores.events.counter(), maxMissed, connected ? "connected" : "DISCONNECTED");
    std::printf("soak: host cpu %.2f s (%.2f %% of one core), simulator cpu %.2f s (%.2f %%)\n", hostCpu,
                100.0 * hostCpu / elapsed, simCpu, 100.0 * simCpu / elapsed);
    std::printf("soak: host rss %ld KiB at the start, %ld KiB at the end, peak %ld KiB\n", rssStart, rssEnd, rssPeak);
    return connected ? 0 : 1;
}
