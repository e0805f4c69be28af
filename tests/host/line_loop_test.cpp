// The loop that drives the line on the program's own thread: the session on
// it against the simulated validator, and the descriptors a program adds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "host/host_session.h"
#include "link/controller_host.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

using Clock = std::chrono::steady_clock;

size_t threadsOfThisProcess() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// The session starts no thread for its line: ticks, writes and replies all
// happen in its own steps, and the link comes up and stays polled.
TEST(LineLoop, TheSessionPollsOnItsOwnThread) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    const size_t threads = threadsOfThisProcess();
    std::ostringstream err;
    HostSession s("halvek-test", err);
    LinkOptions o;
    o.port = sim.devicePath();
    o.interval = 100;
    ASSERT_TRUE(s.open(o)) << err.str();
    ASSERT_NE(s.lineLoop(), nullptr);
    ASSERT_TRUE(s.waitForStartup()) << err.str();
    EXPECT_EQ(threadsOfThisProcess(), threads);

    int ticks = 0, replies = 0;
    RunHooks hooks;
    hooks.afterTick = [&] { ++ticks; };
    hooks.afterReply = [&] { ++replies; };
    EXPECT_TRUE(s.runFor([&] { return ticks >= 10; }, std::chrono::seconds(20), hooks));
    // Every poll but the last, whose reply may still be on its way, was answered.
    EXPECT_GE(replies, ticks - 1);
    EXPECT_TRUE(s.controller().linkConnected());
    EXPECT_EQ(s.controller().linkCounters().givenUp, 0u);
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        close(fds[0]);
        close(fds[1]);
    }
};

// A descriptor of the program's own wakes the loop and its watcher is called
// there; a watcher may remove itself; wake() from another thread ends the
// sleep; the timer ticks and stops; a closed host ends every step.
TEST(LineLoop, WatchesWakeUpsTicksAndClose) {
    NullUserInterface ui;
    ControllerHost host(ui, LineDriver::OwnLoop);
    LineLoop loop(host);
    Pipe p;
    int calls = 0;
    int id = 0;
    id = loop.watch(p.fds[0], POLLIN, [&](short revents) {
        ++calls;
        EXPECT_TRUE(revents & POLLIN);
        char c;
        EXPECT_EQ(read(p.fds[0], &c, 1), 1);
        loop.unwatch(id);
    });
    ASSERT_EQ(write(p.fds[1], "x", 1), 1);
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::seconds(10)), PollLoop::Step::Woken);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(write(p.fds[1], "y", 1), 1);
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::milliseconds(30)), PollLoop::Step::Deadline);
    EXPECT_EQ(calls, 1);

    std::thread waker([&] { loop.wake(); });
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::seconds(10)), PollLoop::Step::Woken);
    waker.join();

    loop.startTimer(20);
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::seconds(10)), PollLoop::Step::Tick);
    loop.stopTimer();
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::milliseconds(60)), PollLoop::Step::Deadline);

    host.close();
    EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::seconds(10)), PollLoop::Step::Closed);
}

// A descriptor the loop cannot have is said, naming it and the reason: a loop
// without its timer would never poll, and the program would sit silent. The
// process is held to just the descriptors it has, or one more.
TEST(LineLoop, ADescriptorItCannotMakeIsSaid) {
    NullUserInterface ui;
    ControllerHost host(ui, LineDriver::OwnLoop);
    EXPECT_EQ(LineLoop(host).error(), "");
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const struct {
        rlim_t free;
        const char* names;
    } cases[] = {{0, "wake-up (eventfd)"}, {1, "event set (epoll_create1)"}};
    for (const auto& c : cases) {
        rlimit held = limit;
        held.rlim_cur = static_cast<rlim_t>(lowestFree) + c.free;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &held), 0);
        std::string error;
        {
            LineLoop loop(host);
            error = loop.error();
        }
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        EXPECT_NE(error.find(c.names), std::string::npos) << error;
        EXPECT_NE(error.find(std::strerror(EMFILE)), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace halvek
