// The stop signals of the programs that run on the line loop: one that comes
// while the loop is not yet asleep must still end its sleep.
#include "host/stop_signals.h"

#include <gtest/gtest.h>

#include <csignal>

#include "link/controller_host.h"

namespace halvek {
namespace {

using Clock = std::chrono::steady_clock;

// The signal comes before the step, with the timer stopped and no line: a
// flag alone would leave the loop asleep until its deadline (none in a run
// without --seconds; a long one here, so that the fault fails and does not
// hang). The handlers there before are back once the stop signals go.
TEST(StopSignals, ASignalBeforeTheSleepEndsItAndTheHandlersBeforeComeBack) {
    for (const int signo : {SIGINT, SIGTERM}) {
        NullUserInterface ui;
        ControllerHost host(ui, LineDriver::OwnLoop);
        LineLoop loop(host);
        ASSERT_EQ(loop.error(), "");
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction before {};
        ASSERT_EQ(::sigaction(signo, &ignore, &before), 0);
        {
            const StopSignals stop(&loop);
            EXPECT_FALSE(stop.requested());
            ASSERT_EQ(::raise(signo), 0);
            EXPECT_EQ(loop.runOnce(Clock::now() + std::chrono::seconds(30)), PollLoop::Step::Woken) << signo;
            EXPECT_TRUE(stop.requested()) << signo;
        }
        struct sigaction now {};
        ASSERT_EQ(::sigaction(signo, nullptr, &now), 0);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << signo;
        ::sigaction(signo, &before, nullptr);
    }
}

}  // namespace
}  // namespace halvek
