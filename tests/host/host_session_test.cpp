// The host session against the simulated validator, and a silent line, on pseudo-terminals.
#include "host/host_session.h"

#include <gtest/gtest.h>

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
