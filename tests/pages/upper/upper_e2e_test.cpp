// The upper pages' commands against the simulated unit on a pseudo-terminal,
// and the console tool's read, set and set-rtc.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sstream>

#include "cli/read.h"
#include "cli/set.h"
#include "e2e/link_rig.h"
#include "link/texts.h"
#include "pages/common/entry_check.h"
#include "pages/rtc/rtc_view.h"
#include "protocol/catalogue.h"
#include "sim/unit_bits.h"

namespace halvek {
namespace {

using test::LinkRig;

// Connected, with the start-up reads through.
void start(LinkRig& rig) {
    ASSERT_TRUE(rig.host.controller.connect());
    rig.ticks(12);
}

// Asks for the commands in order and ticks until the last has brought its reply.
bool exchange(LinkRig& rig, std::initializer_list<uint8_t> codes) {
    LinkController& c = rig.host.controller;
    const uint8_t last = *(codes.end() - 1);
    const uint32_t before = c.repliesTaken(last);
    for (uint8_t code : codes) c.request(code);
    return rig.tickUntil([&] { return c.repliesTaken(last) > before; });
}

// Asks for commands that bring no data and ticks until all of them have gone out and been taken.
bool sendAll(LinkRig& rig, std::initializer_list<uint8_t> codes) {
    LinkController& c = rig.host.controller;
    for (uint8_t code : codes) c.request(code);
    const bool sent = rig.tickUntil([&] {
        for (uint8_t code : codes)
            if (c.requestState(code) != RequestState::Idle) return false;
        return true;
    });
    rig.tick();
    return sent;
}

std::tm localNow() {
    const time_t now = time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

time_t timeOf(const RtcRecord& r) {
    auto dec = [](uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    std::tm t{};
    t.tm_year = 100 + dec(r[0]);
    t.tm_mon = dec(r[1]) - 1;
    t.tm_mday = dec(r[2]);
    t.tm_hour = dec(r[4]);
    t.tm_min = dec(r[5]);
    t.tm_sec = dec(r[6]);
    t.tm_isdst = -1;
    return mktime(&t);
}

TEST(UpperPagesE2E, TheClockSetFromThePcReadsBackWithinASecond) {
    LinkRig rig;
    start(rig);
    // A clock far off first, so that the set is what brings it back.
    rig.sim.withModel([](sim::ValidatorModel& m) {
        m.memory().rtcOffsetSeconds = -86400 * 40;
        return 0;
    });
    ASSERT_TRUE(exchange(rig, {cmd::ReadRtc}));
    EXPECT_GT(std::fabs(std::difftime(time(nullptr), timeOf(rig.host.stores.rtc))), 86400.0);
    rig.host.stores.rtc = rtcRecordOf(localNow());
    ASSERT_TRUE(exchange(rig, {cmd::SetRtc, cmd::ReadRtc}));
    EXPECT_LE(std::fabs(std::difftime(time(nullptr), timeOf(rig.host.stores.rtc))), 1.0)
        << rtcText(rig.host.stores.rtc);
}

TEST(UpperPagesE2E, AUnitTypeWithoutAClockRefusesTheClockCommands) {
    sim::SimOptions options;
    options.unitType = 'S';
    LinkRig rig(true, options);
    start(rig);
    EXPECT_EQ(rig.host.stores.identity.unitType(), 'S');
    EXPECT_FALSE(unitHasClock(rig.host.stores.identity.unitType()));
    for (uint8_t code : {cmd::ReadRtc, cmd::SetRtc}) {
        rig.ui.messages.clear();
        rig.host.controller.request(code);
        ASSERT_TRUE(rig.tickUntil([&] { return !rig.ui.messages.empty(); })) << int{code};
        EXPECT_EQ(rig.ui.messages[0].text, text::kNotSupported);
    }
}

TEST(UpperPagesE2E, IdentityAndFactoryWritesReadBackAsTheUnitHoldsThem) {
    LinkRig rig;
    start(rig);
    IdentityStore& id = rig.host.stores.identity;
    id.systemId = toBcd4(4321);
    id.factoryNumber = toBcd4(907);
    id.productionDate = {toBcd2(52), toBcd2(7)};
    ASSERT_TRUE(sendAll(rig, {cmd::SetProdDate, cmd::SetFactNum, cmd::SetSysId}));
    id = {};
    ASSERT_TRUE(exchange(rig, {cmd::ReadSystemId, cmd::ReadFactNum, cmd::ReadProdDate}));
    EXPECT_EQ(id.systemId, (std::array<uint8_t, 2>{0x43, 0x21}));
    EXPECT_EQ(id.factoryNumber, (std::array<uint8_t, 2>{0x09, 0x07}));
    EXPECT_EQ(id.productionDate, (std::array<uint8_t, 2>{0x52, 0x07}));
}

TEST(UpperPagesE2E, CountersCountStackedBillsAndClearsEmptyThem) {
    LinkRig rig;
    start(rig);
    for (const char* bill : {"insert 3", "insert 5"}) {
        const uint32_t stacked = rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); });
        ASSERT_EQ(rig.sim.execute(bill), "");
        ASSERT_TRUE(rig.tickUntil(
            [&] { return rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }) > stacked; }));
    }
    ASSERT_TRUE(exchange(rig, {cmd::ReadLastFive, cmd::ReadBillCounter, cmd::ReadQrvBillCount}));
    const CounterStore& c = rig.host.stores.counters;
    EXPECT_EQ(c.lifeCount, 2u);
    EXPECT_EQ(c.lastFive[0], 5);
    EXPECT_EQ(c.lastFive[1], 3);
    EXPECT_EQ(c.qrvCounts[2], 1u);
    EXPECT_EQ(c.qrvCounts[4], 1u);
    ASSERT_TRUE(sendAll(rig, {cmd::ClearLifeCount, cmd::ClearQrvCounter}));
    ASSERT_TRUE(exchange(rig, {cmd::ReadBillCounter, cmd::ReadQrvBillCount}));
    EXPECT_EQ(c.lifeCount, 0u);
    EXPECT_EQ(c.qrvCounts[2], 0u);
    EXPECT_EQ(c.qrvCounts[4], 0u);
}

// The console tool, against a unit it did not start.
struct CliRig {
    explicit CliRig(sim::SimOptions options = {}) : sim(options) { sim.start(); }
    int run(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
            std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.end(), {"--port", sim.devicePath(), "--interval", "100"});
        return command(args, out, err);
    }
    sim::SimServer sim;
    std::ostringstream out, err;
};

TEST(UpperPagesCli, ReadPrintsTheUnitsDataAsTextAndJson) {
    CliRig rig;
    rig.sim.withModel([](sim::ValidatorModel& m) {
        m.memory().countStacked(3);
        return 0;
    });
    ASSERT_EQ(rig.run(cli::runRead, {"counters"}), 0) << rig.err.str();
    const std::string counters = rig.out.str();
    for (const char* line : {"life count   00000001\n", "last five    03 00 00 00 00\n", "QRV type 03  00000001\n"})
        EXPECT_NE(counters.find(line), std::string::npos) << line << " missing from\n" << counters;
    ASSERT_EQ(rig.run(cli::runRead, {"counters", "--json", "--q7"}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "{\"lifeCount\":1,\"lastFive\":[3,0,0,0,0],\"qrvCounts\":null}\n");
    ASSERT_EQ(rig.run(cli::runRead, {"identity"}), 0) << rig.err.str();
    for (const char* line : {"revision         L8VQA034\n", "unit type        A\n", "system id        1234\n",
                             "production date  wk 23/of 26\n", "burn cycles      3\n"})
        EXPECT_NE(rig.out.str().find(line), std::string::npos) << line << " missing from\n" << rig.out.str();
    ASSERT_EQ(rig.run(cli::runRead, {"identity", "--json"}), 0) << rig.err.str();
    EXPECT_NE(rig.out.str().find(",\"productionDate\":{\"week\":23,\"year\":2026},"), std::string::npos)
        << rig.out.str();
    ASSERT_EQ(rig.run(cli::runRead, {"rtc"}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str().size(), std::string(rtctext::kInitial).size() + 1) << rig.out.str();
}

// What `read setup --json` prints is what `set` takes: a script sets back what it read.
TEST(UpperPagesCli, TheSetupReadAsJsonIsWhatSetTakes) {
    CliRig rig;
    ASSERT_EQ(rig.run(cli::runSet, {"sides=1", "inhibit=on", "escrow=off"}), 0) << rig.err.str();
    ASSERT_EQ(rig.run(cli::runRead, {"setup", "--json"}), 0) << rig.err.str();
    const std::string read = rig.out.str();
    EXPECT_EQ(read,
              "{\"stacker\":\"required\",\"plate\":\"open\",\"sides\":\"1\",\"ways\":\"2\","
              "\"orientation\":\"normal\",\"inhibit\":\"on\",\"mode\":\"polling\",\"escrow\":\"off\"}\n");
    // Every settable pair, fed back as it was printed: the unit keeps it, and reads back the same.
    std::vector<std::string> pairs;
    for (size_t at = read.find('"'); at != std::string::npos; at = read.find('"', at)) {
        const size_t keyEnd = read.find('"', at + 1), valueStart = read.find('"', keyEnd + 1);
        const size_t valueEnd = read.find('"', valueStart + 1);
        const std::string key = read.substr(at + 1, keyEnd - at - 1);
        if (key != "orientation") pairs.push_back(key + "=" + read.substr(valueStart + 1, valueEnd - valueStart - 1));
        at = valueEnd + 1;
    }
    ASSERT_EQ(pairs.size(), 7u);
    pairs.push_back("--json");
    ASSERT_EQ(rig.run(cli::runSet, pairs), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), read);
}

TEST(UpperPagesCli, SetConfirmsWhatTheUnitReadsBack) {
    CliRig rig;
    ASSERT_EQ(rig.run(cli::runSet, {"stacker=optional", "inhibit=on", "ways=1"}), 0) << rig.err.str();
    const std::string o = rig.out.str();
    for (const char* line : {"stacker      optional\n", "inhibit      inhibit\n", "ways         1 way\n",
                             "sides        2 sides\n", "escrow       escrow on\n"})
        EXPECT_NE(o.find(line), std::string::npos) << line << " missing from\n" << o;
    const uint8_t setup = rig.sim.withModel([](sim::ValidatorModel& m) { return m.setupByte(); });
    EXPECT_EQ(setup & (sim::setupbit::StackerOptional | sim::setupbit::Inhibit | sim::setupbit::Ways),
              sim::setupbit::StackerOptional | sim::setupbit::Inhibit | sim::setupbit::Ways);

    // A unit that ignores a command is caught by the re-read, not trusted.
    ASSERT_EQ(rig.sim.execute("ignore 49"), "");
    EXPECT_EQ(rig.run(cli::runSet, {"plate=closed"}), 1);
    EXPECT_NE(rig.err.str().find("the unit kept plate open"), std::string::npos) << rig.err.str();

    for (const char* bad : {"orientation=reverse", "stacker=maybe", "colour=red"})
        EXPECT_EQ(rig.run(cli::runSet, {bad}), 2) << bad;
}

TEST(UpperPagesCli, SetRtcSetsThePcTimeOrSaysTheUnitHasNoClock) {
    CliRig rig;
    rig.sim.withModel([](sim::ValidatorModel& m) {
        m.memory().rtcOffsetSeconds = 3600;
        return 0;
    });
    ASSERT_EQ(rig.run(cli::runSetRtc, {"--json"}), 0) << rig.err.str();
    EXPECT_NE(rig.out.str().find("\"time\":"), std::string::npos) << rig.out.str();
    EXPECT_LE(std::abs(rig.sim.withModel([](sim::ValidatorModel& m) { return m.memory().rtcOffsetSeconds; })), 1);

    sim::SimOptions noClock;
    noClock.unitType = 'V';
    CliRig plain(noClock);
    EXPECT_EQ(plain.run(cli::runSetRtc, {}), 1);
    EXPECT_NE(plain.err.str().find("Real Time Clock not available"), std::string::npos) << plain.err.str();
    EXPECT_EQ(plain.run(cli::runRead, {"rtc"}), 1);
    EXPECT_NE(plain.err.str().find("Real Time Clock not available"), std::string::npos) << plain.err.str();
}

}  // namespace
}  // namespace halvek
