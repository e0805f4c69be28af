// The host session against the simulated validator, and a silent line, on pseudo-terminals.
#include "host/host_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <sstream>

#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

LinkOptions onPort(const std::string& path) {
    LinkOptions o;
    o.port = path;
    o.interval = 100;
    return o;
}

// A read the link gives up is asked again until its reply comes, whoever
// placed it; one the unit refuses is not, and ends without its reply.
TEST(HostSession, AGivenUpReadIsAskedAgainAndARefusedOneIsNot) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    std::ostringstream err;
    HostSession s("halvek-test", err);
    ASSERT_TRUE(s.open(onPort(sim.devicePath()))) << err.str();
    ASSERT_TRUE(s.waitForStartup()) << err.str();
    LinkController& c = s.controller();

    // Twice as many "read stats" frames lost as the link tries: it gives up twice.
    const int perGiveUp = LinkController::kMaxRetries + 1;
    ASSERT_EQ(sim.execute("drop DD " + std::to_string(2 * perGiveUp)), "");
    const uint32_t before = c.repliesTaken(cmd::ReadStats), givenUp = c.linkCounters().givenUp;
    s.ask(cmd::ReadStats);
    EXPECT_TRUE(s.runFor([&] { return c.repliesTaken(cmd::ReadStats) != before; }, std::chrono::seconds(20)));
    EXPECT_EQ(s.askedAgain(), 2u);
    EXPECT_EQ(c.linkCounters().givenUp - givenUp, 2u);

    // A read placed another way is asked again the same way.
    ASSERT_EQ(sim.execute("drop DD " + std::to_string(perGiveUp)), "");
    int placed = 0;
    const auto place = [&] {
        ++placed;
        c.request(cmd::ReadStats);
    };
    s.keepAsking(cmd::ReadStats, place);
    const uint32_t again = c.repliesTaken(cmd::ReadStats);
    place();
    EXPECT_TRUE(s.runFor([&] { return c.repliesTaken(cmd::ReadStats) != again; }, std::chrono::seconds(20)));
    EXPECT_EQ(placed, 2);
    s.stopAsking(cmd::ReadStats);

    ASSERT_EQ(sim.execute("unsupported DD"), "");
    const uint32_t asked = s.askedAgain();
    EXPECT_FALSE(s.readAll({cmd::ReadStats}, std::chrono::seconds(5)));
    EXPECT_EQ(s.askedAgain(), asked);
    EXPECT_NE(err.str().find("halvek-test: the validator refused \"read stats\"\n"), std::string::npos) << err.str();
}

TEST(HostSession, ALineThatCannotOpenIsNamedWithTheReason) {
    std::ostringstream err;
    HostSession s("halvek-test", err);
    EXPECT_FALSE(s.open(onPort("/dev/halvek-missing")));
    EXPECT_EQ(err.str(),
              "halvek-test: Info: No Connection (cannot open /dev/halvek-missing: No such file or directory)\n");
}

// A session whose loop could not have its timer does not start its line: the
// program ends with the reason instead of sitting silent. The process is held
// to ever more descriptors until the session has all it needs.
TEST(HostSession, ALoopWithoutItsTimerIsSaidAndTheLineNotStarted) {
#ifdef __SANITIZE_ADDRESS__
    // That build checks undefined behaviour too, and its check of an object's
    // type makes a pipe: held to no spare descriptor, it reports every object bad.
    GTEST_SKIP() << "the undefined-behaviour checker needs descriptors of its own";
#endif
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    std::string lastRefusal;
    for (rlim_t extra = 0; extra < 32; ++extra) {
        std::ostringstream err;
        rlimit held = limit;
        held.rlim_cur = static_cast<rlim_t>(lowestFree) + extra;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &held), 0);
        auto s = std::make_unique<HostSession>("halvek-test", err);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        const std::string error = s->lineLoop()->error();
        if (error.empty()) break;
        EXPECT_FALSE(s->startLine(onPort("/dev/halvek-missing")));
        EXPECT_EQ(err.str(), "halvek-test: " + error + "\n");
        lastRefusal = error;
    }
    EXPECT_EQ(lastRefusal, std::string("cannot make the line loop's event set (epoll_create1): ") + std::strerror(EMFILE));
}

// A unit that never answers: the wait ends at its time, naming the device,
// and the session closes cleanly.
TEST(HostSession, ASilentUnitTimesOutNamingTheDevice) {
    test::PtyPair silent;
    std::ostringstream err;
    HostSession s("halvek-test", err);
    ASSERT_TRUE(s.open(onPort(silent.slavePath())));
    int ticks = 0;
    RunHooks hooks;
    hooks.afterTick = [&] { ++ticks; };
    EXPECT_FALSE(s.runFor([] { return false; }, std::chrono::milliseconds(400), hooks));
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(s.waitForStartup(std::chrono::milliseconds(600)));
    EXPECT_EQ(err.str(), "halvek-test: no answer from the validator on " + silent.slavePath() + "\n");
    s.close();
    EXPECT_FALSE(s.controller().linkFlags() & linkflag::PortOpen);
}

}  // namespace
}  // namespace halvek
