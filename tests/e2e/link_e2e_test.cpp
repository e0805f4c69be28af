#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "cli/monitor.h"
#include "link/texts.h"
#include "link_rig.h"
#include "protocol/catalogue.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using test::LinkRig;
using Strings = std::vector<std::string>;

TEST(LinkE2E, StartupReadsLeaveOnTheirTicksInBothModes) {
    for (bool extended : {true, false}) {
        LinkRig rig(extended);
        ASSERT_TRUE(rig.host.controller.connect());
        // Nothing is known of the line until the unit answers the first poll.
        ASSERT_EQ(rig.ui.titles.size(), 1u);
        EXPECT_EQ(rig.ui.titles[0], text::windowTitle() + " disconnected");
        std::map<int, std::string> sentOnTick;
        for (int t = 1; t <= 13; ++t) {
            const uint32_t before = rig.host.stores.history.counter();
            rig.tick();
            if (t == 1) {
                ASSERT_EQ(rig.ui.titles.size(), 2u);
                EXPECT_EQ(rig.ui.titles[1], text::windowTitle() + " connected");
            }
            if (rig.host.stores.history.counter() != before) sentOnTick[t] = rig.commands().back();
        }
        const std::map<int, std::string> expected = {
            {4, "read bill enable"}, {5, "read sec.level"}, {6, extended ? "read credit table" : "read unit opt."},
            {7, "read prog.rev."},   {8, "read setup"},     {11, "read diagn.(0)"}};
        EXPECT_EQ(sentOnTick, expected) << (extended ? "Q7E" : "Q7");
        const Stores& s = rig.host.stores;
        EXPECT_TRUE(s.bills.tableLoaded);
        EXPECT_EQ(s.bills.value(7), 500);
        EXPECT_EQ(s.bills.value(16), 1);
        EXPECT_EQ(s.bills.enabled[6], 1);
        EXPECT_STREQ(s.identity.revision.data(), "L8VQA034");
        EXPECT_TRUE(s.sensors.l8v);
        EXPECT_TRUE(s.setup.escrow);
        EXPECT_EQ(rig.host.controller.missedPollCount(), 0);
    }
}

TEST(LinkE2E, ABillGoesThroughEscrowToStackedUnderAutoAccept) {
    LinkRig rig;
    ASSERT_TRUE(rig.host.controller.connect());
    rig.ticks(12);
    ASSERT_EQ(rig.sim.execute("insert 4"), "");
    const auto& lines = rig.host.stores.events.lines();
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    ASSERT_TRUE(rig.tickUntil([&] { return has("bill stacked : EUR  50"); }));
    // The bill shows in escrow on every reply until it is accepted (once the
    // unit's count is read), then stacked, once.
    EXPECT_EQ(lines.front(), "bill in escrow : EUR  50");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "bill stacked : EUR  50"), 1);
    EXPECT_EQ(rig.host.controller.upperPage(), page::Escrow);
    EXPECT_EQ(rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }), 1u);
}

TEST(LinkE2E, SilenceDisconnectsAndTheFirstFrameReconnects) {
    LinkRig rig;
    ASSERT_TRUE(rig.host.controller.connect());
    rig.ticks(12);
    ASSERT_EQ(rig.sim.execute("silent"), "");
    for (int i = 1; i <= 10; ++i) rig.tick();
    EXPECT_TRUE(rig.host.controller.linkConnected());
    rig.tick();
    EXPECT_EQ(rig.ui.titles.back(), text::windowTitle() + " disconnected");
    ASSERT_EQ(rig.sim.execute("speak"), "");
    rig.tick();  // the poll is answered
    rig.tick();
    EXPECT_EQ(rig.ui.titles.back(), text::windowTitle() + " connected");
    rig.ticks(2);
    EXPECT_EQ(rig.commands().back(), "read bill enable");  // the start-up reads run again
}

TEST(LinkE2E, ACommandNeverAnsweredDoesNotSilenceTheLink) {
    LinkRig rig;
    ASSERT_TRUE(rig.host.controller.connect());
    rig.ticks(12);
    ASSERT_EQ(rig.sim.execute("ignore D1"), "");
    rig.host.controller.request(cmd::ReadRtc);
    rig.tick();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.host.controller.requestState(cmd::ReadRtc) == RequestState::Idle; }));
    EXPECT_EQ(rig.host.controller.linkCounters().givenUp, 1u);
    rig.tick();
    EXPECT_EQ(rig.host.controller.missedPollCount(), 0);  // polled and answered again
    EXPECT_TRUE(rig.host.controller.linkConnected());
}

TEST(LinkE2E, ALostDeviceIsReportedAndReopenedWhenItIsBack) {
    const std::string link = ::testing::TempDir() + "/halvek-validator-" + std::to_string(getpid());
    auto first = std::make_unique<sim::SimServer>();
    ASSERT_TRUE(first->start());
    ASSERT_TRUE(first->linkTo(link));
    test::RecordingUi ui;
    ControllerHost host(ui);
    host.ports.set(1, link);
    ASSERT_TRUE(host.controller.connect());
    host.controller.onTick();
    first.reset();  // the validator's end goes away
    // The owner keeps serving: the reader may be handing over the poll's reply.
    ASSERT_TRUE(test::eventually([&] {
        host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
        return host.block.portLost.load();
    }));
    host.controller.onTick();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "No Connection");
    EXPECT_NE(ui.messages[0].detail.find("went away"), std::string::npos);

    sim::SimServer second;
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.linkTo(link));
    host.controller.onTick();  // reopened
    EXPECT_TRUE(host.block.port.isOpen());
    EXPECT_TRUE(test::eventually([&] {
        host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
        return host.controller.missedPollCount() == 0;
    }));
}

TEST(Monitor, PrintsWhatHappensAndFailsWithTheReason) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("insert 3"), "");
    std::ostringstream out, err;
    const int rc = cli::runMonitor({"--port", sim.devicePath(), "--interval", "100", "--seconds", "3"}, out, err);
    EXPECT_EQ(rc, 0) << err.str();
    const std::string o = out.str();
    EXPECT_EQ(o.rfind("link: waiting for the unit\ntitle: " + text::windowTitle() + " disconnected\n", 0), 0u) << o;
    EXPECT_NE(o.find("title: " + text::windowTitle() + " connected\n"), std::string::npos) << o;
    for (const char* line :
         {"link: unit answering\n", "command: read bill enable\n", "command: read credit table\n", "state: idle\n",
          "event: bill in escrow : EUR  20\n", "command: escrow accept\n", "event: bill stacked : EUR  20\n"})
        EXPECT_NE(o.find(line), std::string::npos) << line << " missing from\n" << o;
    EXPECT_LT(o.find("event: bill in escrow"), o.find("command: escrow accept"));
    // It ends with what the line cost.
    const size_t last = o.rfind('\n', o.size() - 2) + 1;
    EXPECT_EQ(o.compare(last, 6, "link: "), 0) << o;
    EXPECT_NE(o.find("retried, ", last), std::string::npos) << o;

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::runMonitor({"--port", "/dev/halvek-missing", "--seconds", "1"}, out2, err2), 1);
    EXPECT_NE(err2.str().find("cannot open /dev/halvek-missing: No such file or directory"), std::string::npos)
        << err2.str();
    EXPECT_NE(out2.str().find("message: Info: No Connection"), std::string::npos);
    EXPECT_EQ(cli::runMonitor({"--seconds", "1"}, out2, err2), 2);
}

// Standard output a pipe nobody reads: the link goes on (the bill is stacked
// and journalled), the run ends at its time, and the unwritten lines are said.
TEST(Monitor, AnOutputNobodyReadsNeverStallsTheLink) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("insert 3"), "");
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
    ::fcntl(pipe[1], F_SETFL, O_NONBLOCK);
    const std::string block(4096, 'x');
    while (::write(pipe[1], block.data(), block.size()) > 0) {
    }
    ::fcntl(pipe[1], F_SETFL, 0);
    const std::string journal = ::testing::TempDir() + "/monitor_stalled_" + std::to_string(::getpid()) + ".txt";
    std::ostringstream out, err;
    EXPECT_EQ(cli::runMonitor({"--port", sim.devicePath(), "--interval", "100", "--seconds", "3", "--journal", journal},
                              out, err, pipe[1]),
              1);
    EXPECT_NE(err.str().find("halvek-cli monitor: standard output was not read; 0 lines dropped, "), std::string::npos)
        << err.str();
    std::ifstream in(journal);
    const std::string money((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(money.find(" stacked type=3 "), std::string::npos) << money;
    ::close(pipe[0]);
    ::close(pipe[1]);
    std::remove(journal.c_str());
}

// A journal on a full disk: said at once, once, counted at the end, and the run fails.
TEST(Monitor, AJournalThatCannotBeWrittenIsSaidAndFailsTheRun) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("insert 3"), "");
    std::ostringstream out, err;
    EXPECT_EQ(
        cli::runMonitor({"--port", sim.devicePath(), "--interval", "100", "--seconds", "3", "--journal", "/dev/full"},
                        out, err),
        1);
    const std::string said = "halvek-cli monitor: cannot write the money journal /dev/full: No space left on device\n";
    const std::string e = err.str();
    ASSERT_NE(e.find(said), std::string::npos) << e;
    EXPECT_EQ(e.find(said, e.find(said) + 1), std::string::npos) << e;
    EXPECT_NE(e.find("money records were not written to the journal /dev/full"), std::string::npos) << e;
    EXPECT_NE(out.str().find("money records not written to the journal\n"), std::string::npos) << out.str();
}

// --sim-bills sets the simulated unit's pace: none at 0, some at 1 s; it
// makes sense only with --simulate.
TEST(Monitor, SimBillsSetsThePaceOfTheSimulatedUnit) {
    struct Case {
        const char* seconds;
        bool bills;
    } cases[] = {{"0", false}, {"1", true}};
    for (const Case& c : cases) {
        std::ostringstream out, err;
        ASSERT_EQ(
            cli::runMonitor({"--simulate", "--sim-bills", c.seconds, "--interval", "100", "--seconds", "6"}, out, err),
            0)
            << err.str();
        EXPECT_EQ(out.str().find("event: bill in escrow") != std::string::npos, c.bills) << c.seconds << "\n"
                                                                                         << out.str();
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::runMonitor({"--port", "/dev/null", "--sim-bills", "5"}, out, err), 2);
    EXPECT_NE(err.str().find("--sim-bills works only with --simulate"), std::string::npos) << err.str();
    EXPECT_EQ(cli::runMonitor({"--simulate", "--sim-bills", "x"}, out, err), 2);
}

// The unit's bytes reach the terminal only as printable ASCII; every event a
// reply adds is printed, in order; scripts get one JSON object a line.
TEST(Monitor, EscapesTheUnitsBytesAndPrintsEveryEvent) {
    EXPECT_EQ(cli::escapeForTerminal("ab\x1B]0;x\x07\xC3\t\\"), "ab\\x1B]0;x\\x07\\xC3\\t\\");

    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("coupon-hex 1B5D303B6F776E65640731"), "");  // ESC ] 0 ; owned BEL 1
    std::ostringstream out, err;
    ASSERT_EQ(cli::runMonitor({"--port", sim.devicePath(), "--interval", "100", "--seconds", "3"}, out, err), 0);
    EXPECT_NE(out.str().find("event: coupon: \\x1B]0;owned\\x071\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find('\x1B'), std::string::npos);

    ASSERT_EQ(sim.execute("events 11"), "");
    std::ostringstream json;
    ASSERT_EQ(cli::runMonitor({"--port", sim.devicePath(), "--interval", "100", "--seconds", "2", "--json"}, json, err),
              0);
    std::istringstream lines(json.str());
    std::string line;
    int events = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.rfind("{\"time\":\"", 0), 0u) << line;
        if (line.find("\"kind\":\"event\"") != std::string::npos) ++events;
    }
    EXPECT_GE(events, 11) << json.str();
}

}  // namespace
}  // namespace halvek
