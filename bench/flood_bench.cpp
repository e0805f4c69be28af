// What a unit that floods "poll now" (0x55) costs the host, next to plain
// polling: the host's processor time (its main and reader threads) while it
// runs against the simulated validator for a few seconds, with the polls it
// sent and the frames it received per second. The simulator runs in a child
// process, so only the host is measured.
//   polling            polling every 100 ms, the unit answers each poll
//   interrupt-flood    interrupt mode, the unit sends "poll now" filling 90 % of the line
//   polling-flood      polling every 100 ms while the unit floods the same way
//   interrupt-flood-pty  interrupt mode, "poll now" as fast as the pseudo-terminal
//                      takes it (about 10 000 a second: no real line carries that)
//   interrupt-flood-max  interrupt mode, "poll now" without a pause: the unit
//                      writes whenever the host has read what it wrote before
// The first three run at the line's own speed (9600 baud, 11 bits a byte).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "link/controller_host.h"
#include "protocol/catalogue.h"
#include "serial/frame_layout.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

using Clock = std::chrono::steady_clock;

struct Scenario {
    const char* name;
    bool interrupt;
    bool paced;       // the simulator writes at the line's speed
    int floodFrames;  // "poll now" frames sent every floodEveryMs (0: none)
    int floodEveryMs;
};

// 28 frames of 7 bytes take 225 ms at 9600 baud: sent every 250 ms they fill 90 % of the line.
const Scenario kScenarios[] = {
    {"polling", false, true, 0, 0},
    {"interrupt-flood", true, true, 28, 250},
    {"polling-flood", false, true, 28, 250},
    {"interrupt-flood-pty", true, false, 200, 20},
    {"interrupt-flood-max", true, false, 10000, 1},
};

constexpr int kPollIntervalMs = 100;
// Long enough for the start-up reads (the 12th tick) and the unit's mode to settle.
constexpr auto kWarmUp = std::chrono::seconds(3);
constexpr auto kMeasured = std::chrono::seconds(5);

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// The simulated validator in a child process: from SIGUSR1 on it floods as the
// scenario says, until SIGTERM.
[[noreturn]] void servePeer(const std::string& path, int ready, const Scenario& sc) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sim::SimServer sim;
    if (!sim.start() || !sim.linkTo(path)) _exit(1);
    sim.setWireTime(sc.paced);
    (void)!::write(ready, "r", 1);
    const long everyMs = sc.floodFrames > 0 ? sc.floodEveryMs : 1000;
    const timespec wait{everyMs / 1000, (everyMs % 1000) * 1000000};
    bool flooding = false;
    for (;;) {
        if (flooding && sc.floodFrames > 0) sim.execute("flood-poll " + std::to_string(sc.floodFrames));
        const int sig = sigtimedwait(&set, nullptr, &wait);
        if (sig == SIGTERM) break;
        if (sig == SIGUSR1) flooding = true;
    }
    sim.stop();
    _exit(0);
}

// Counts the polls the host writes and the frames it receives (on the reader thread).
struct Counter : FrameTap {
    void captureFrame(const uint8_t* frame, size_t length, bool sent) override {
        if (!sent) {
            ++received;
            return;
        }
        for (bool extended : {true, false})
            if (length == smallestFrameSize(extended) && frame[codeOffset(extended)] == cmd::Status) ++polls;
    }
    std::atomic<uint64_t> polls{0}, received{0};
};

void BM_HostCpu(benchmark::State& state) {
    const Scenario& sc = kScenarios[state.range(0)];
    state.SetLabel(sc.name);
    const std::string path = "/tmp/halvek-flood-" + std::to_string(getpid());
    int fds[2];
    if (pipe(fds) != 0) return state.SkipWithError("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        servePeer(path, fds[1], sc);
    }
    close(fds[1]);
    char ready = 0;
    const bool started = read(fds[0], &ready, 1) == 1;
    close(fds[0]);
    if (!started) {
        waitpid(child, nullptr, 0);
        return state.SkipWithError("the simulator did not start");
    }

    {
        NullUserInterface ui;
        ControllerHost host(ui);
        Counter counter;
        host.block.frameTap.store(&counter);
        host.ports.set(1, path);
        host.controller.setPollInterval(kPollIntervalMs);
        if (host.controller.connect()) {
            HeadlessLoop loop(host);
            loop.startTimer(kPollIntervalMs);
            loop.runUntil(Clock::now() + kWarmUp);
            if (sc.interrupt) {
                // As the Setup page asks for it: the unit's own set-up then says interrupt mode too.
                host.controller.setInterruptMode(true);
                host.controller.request(cmd::SetMode);
                loop.runUntil(Clock::now() + std::chrono::milliseconds(500));
            }
            kill(child, SIGUSR1);
            loop.runUntil(Clock::now() + std::chrono::seconds(1));
            for (auto _ : state) {
                const uint64_t polls = counter.polls, received = counter.received;
                const double cpu = cpuSeconds();
                const auto start = Clock::now();
                loop.runUntil(start + kMeasured);
                const double wall = std::chrono::duration<double>(Clock::now() - start).count();
                state.counters["host_cpu_%"] = 100.0 * (cpuSeconds() - cpu) / wall;
                state.counters["polls/s"] = static_cast<double>(counter.polls - polls) / wall;
                state.counters["frames_in/s"] = static_cast<double>(counter.received - received) / wall;
            }
            state.counters["connected"] = host.controller.linkConnected() ? 1 : 0;
        } else {
            state.SkipWithError("cannot open the simulator's line");
        }
        host.block.frameTap.store(nullptr);
        host.close();
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
}
BENCHMARK(BM_HostCpu)->DenseRange(0, 4)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace halvek
