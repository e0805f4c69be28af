// halvekd end to end: the daemon program against the simulated validator on a
// pseudo-terminal, its clients through the socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/service_client.h"
#include "daemon_fixture.h"
#include "money/journal.h"
#include "sim/sim_server.h"
#include "sim/unit_bits.h"

namespace halvek {
namespace {

using nlohmann::json;
using test::Client;
using test::fileText;
using test::waitUntil;

// The simulator in this process (the test counts its polls and puts bills in),
// halvekd as a child process on its line.
class DaemonRig : public test::DaemonFixture {
  protected:
    void SetUp() override {
        DaemonFixture::SetUp();
        sim.setLog([this](const std::string& line) {
            if (line.rfind("<- ", 0) != 0) return;
            if (line.find(" CC status") != std::string::npos) ++polls;
            if (line.find(" DA read bill counter") != std::string::npos) ++countReads;
        });
        ASSERT_TRUE(sim.start());
    }

    void start(std::vector<std::string> extra = {}) { startOn(sim.devicePath(), std::move(extra)); }
    bool unitInhibited() {
        return sim.withModel([](sim::ValidatorModel& m) { return (m.setupByte() & sim::setupbit::Inhibit) != 0; });
    }
    // Puts a bill in once the unit takes bills (the daemon un-inhibits it for a controller).
    void insertBill(int type) {
        ASSERT_TRUE(
            waitUntil([&] { return !unitInhibited() && sim.execute("insert " + std::to_string(type)).empty(); }));
    }

    sim::SimServer sim;
    std::atomic<int> polls{0}, countReads{0};
};

TEST_F(DaemonRig, TheControllerAcceptsAnObserverCannotDecideASecondControllerIsRefused) {
    start();
    auto kiosk = controller();
    auto watcher = observer();
    insertBill(3);
    const json escrow = kiosk->money("escrow");
    ASSERT_FALSE(escrow.is_null());
    EXPECT_EQ(escrow["type"], 3);
    EXPECT_EQ(escrow["value"], 20);
    EXPECT_EQ(escrow["currency"], "EUR");
    EXPECT_EQ(escrow["default"], "return");
    EXPECT_TRUE(escrow.contains("decide_by"));
    const int64_t episode = escrow["episode"];

    json refused = watcher->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "accept"}});
    EXPECT_EQ(refused["error"], "not-controller");
    auto second = std::make_unique<Client>(socket);
    second->next();
    EXPECT_EQ(second->ask({{"cmd", "hello"}, {"role", "controller"}})["error"], "controller-taken");

    EXPECT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "accept"}})["class"], "OK");
    // Deciding again the same way is harmless; the other way is refused; an unknown episode too.
    EXPECT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "accept"}})["class"], "OK");
    EXPECT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "return"}})["error"], "already-decided");
    EXPECT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode + 100}, {"action", "accept"}})["error"],
              "no-such-episode");

    for (Client* c : {kiosk.get(), watcher.get()}) {
        const json stacked = c->money("stacked");
        ASSERT_FALSE(stacked.is_null());
        EXPECT_EQ(stacked["episode"], episode);
        const json credit = c->money("credit");
        EXPECT_EQ(credit["credit"], 20);
    }
    const json decision = [&] {
        for (const json& m : watcher->seen)
            if (m.value("kind", "") == "decision") return m;
        return json();
    }();
    EXPECT_EQ(decision["by"], "controller");
    EXPECT_EQ(decision["action"], "accept");
    const json status = kiosk->ask({{"cmd", "status"}});
    EXPECT_EQ(status["credit"], 20);
    EXPECT_EQ(status["link"], "unit answering");
    EXPECT_TRUE(status["escrow"].is_null());
}

// A technician decides a bill the kiosk program left waiting: refused while the
// program holds the controller role, done when taking it over, and the program
// is told it became an observer.
TEST_F(DaemonRig, TheConsoleDecidesABillByTakingOverTheControllerRole) {
    start();
    auto kiosk = controller();
    auto watcher = observer();
    insertBill(3);
    const json escrow = watcher->money("escrow");
    ASSERT_FALSE(escrow.is_null());
    const std::string episode = std::to_string(escrow["episode"].get<int64_t>());

    std::ostringstream out, err;
    EXPECT_EQ(cli::runDecide({episode, "accept", "--socket", socket}, out, err), 1);
    EXPECT_NE(err.str().find("controller-taken"), std::string::npos) << err.str();

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::runDecide({episode, "accept", "--socket", socket, "--takeover"}, out2, err2), 0) << err2.str();
    EXPECT_EQ(out2.str(), "episode " + episode + ": accept\n");
    const json role = kiosk->until([](const json& m) { return m.value("kind", "") == "role"; });
    ASSERT_FALSE(role.is_null());
    const json stacked = watcher->money("stacked");
    ASSERT_FALSE(stacked.is_null());
    EXPECT_EQ(std::to_string(stacked["episode"].get<int64_t>()), episode);
}

TEST_F(DaemonRig, NoDecisionByTheDeadlineReturnsTheBillAndSaysSo) {
    start({"--escrow-timeout", "1500"});
    auto kiosk = controller();
    insertBill(4);
    const json escrow = kiosk->money("escrow");
    ASSERT_FALSE(escrow.is_null());
    const json decision = kiosk->money("decision");
    ASSERT_FALSE(decision.is_null());
    EXPECT_EQ(decision["by"], "default");
    EXPECT_EQ(decision["action"], "return");
    EXPECT_EQ(decision["episode"], escrow["episode"]);
    const json returned = kiosk->money("returned");
    ASSERT_FALSE(returned.is_null());
    EXPECT_EQ(returned["episode"], escrow["episode"]);
    EXPECT_EQ(sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }), 0u);
}

TEST_F(DaemonRig, TheControllerGoingMidEscrowGetsTheDefaultAndTheUnitStopsUntilAnotherComes) {
    start();
    // Nobody decides: the unit takes no bill.
    ASSERT_TRUE(waitUntil([&] { return unitInhibited(); }));
    auto watcher = observer();
    auto kiosk = controller();
    insertBill(3);
    const json escrow = kiosk->money("escrow");
    ASSERT_FALSE(escrow.is_null());
    kiosk->close();
    const json decision = watcher->money("decision");
    ASSERT_FALSE(decision.is_null());
    EXPECT_EQ(decision["by"], "default");
    EXPECT_EQ(decision["action"], "return");
    EXPECT_FALSE(watcher->money("returned").is_null());
    EXPECT_TRUE(waitUntil([&] { return unitInhibited(); }));
    auto next = controller();
    EXPECT_TRUE(waitUntil([&] { return !unitInhibited(); }));
}

// Killed after the accept went out and before the stacked report came: the next
// run carries the journal's numbers on and settles the bill once.
TEST_F(DaemonRig, AKillBetweenAcceptAndStackedIsSettledOnceAfterTheRestart) {
    start();
    auto kiosk = controller();
    insertBill(3);
    const json escrow = kiosk->money("escrow");
    ASSERT_FALSE(escrow.is_null());
    const int64_t episode = escrow["episode"];
    ASSERT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "accept"}})["class"], "OK");
    // The daemon hears no more from the unit once the accept is out.
    ASSERT_FALSE(kiosk->money("sent").is_null());
    sim.execute("ignore cc");
    ASSERT_TRUE(waitUntil([&] { return sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }) == 1; }));
    kiosk.reset();
    killHard();
    const uint64_t lastBefore = readJournal(fileText(journal)).lastSeq;
    sim.execute("answer cc");

    const int countsBefore = countReads;
    start();
    auto again = controller();
    const json stacked = again->money("stacked");
    ASSERT_FALSE(stacked.is_null());
    EXPECT_EQ(stacked["episode"], episode);
    EXPECT_GT(stacked["seq"].get<uint64_t>(), lastBefore);
    EXPECT_EQ(again->money("credit")["credit"], 20);
    // Nothing more of that bill once the unit's count has been read and a few
    // polls gone by: one stacked record, one credit, in the whole journal.
    ASSERT_TRUE(waitUntil([&] { return countReads > countsBefore; }));
    const int pollsThen = polls;
    ASSERT_TRUE(waitUntil([&] { return polls >= pollsThen + 5; }));
    int stackedRecords = 0, credits = 0;
    for (const JournalRecord& r : readJournal(fileText(journal)).records) {
        stackedRecords += r.record.kind == MoneyKind::Stacked;
        credits += r.record.kind == MoneyKind::Credit;
    }
    EXPECT_EQ(stackedRecords, 1);
    EXPECT_EQ(credits, 1);
}

TEST_F(DaemonRig, WatchSinceReplaysExactlyTheMissedRecordsAndAGapIsSaid) {
    // Records an earlier daemon left, from seq 50 on (those before are gone).
    {
        std::ofstream j(journal);
        j << "2026-12-10T13:40:01.123+01:00 escrow type=3 value=20 credit=0 episode=50 seq=50\n"
             "2026-12-10T13:40:01.200+01:00 decision type=3 value=20 credit=0 action=return by=default episode=50 "
             "seq=51\n"
             "2026-12-10T13:40:02.000+01:00 returned type=3 value=20 credit=0 episode=50 seq=52\n";
    }
    start();
    auto late = observer(50);
    for (uint64_t seq : {51u, 52u}) {
        const json m = late->until([](const json& x) { return x.contains("seq"); });
        EXPECT_EQ(m["seq"], seq);
    }
    EXPECT_EQ(late->next()["class"], "OK");
    EXPECT_EQ(observer(52)->next()["class"], "OK");  // nothing missed
    auto gap = observer(10);
    const json g = gap->next();
    EXPECT_EQ(g["class"], "GAP");
    EXPECT_EQ(g["first"], 50);
    const json first = gap->next();
    EXPECT_EQ(first["seq"], 50);
    EXPECT_EQ(first["time"], "2026-12-10T12:40:01.123Z");
    EXPECT_EQ(first["episode"], 50);
    // The returned bill is still unacked: a controller learns of it, and its ack is kept.
    auto kiosk = std::make_unique<Client>(socket);
    kiosk->next();
    const json hello = kiosk->ask({{"cmd", "hello"}, {"role", "controller"}});
    ASSERT_EQ(hello["unacked"].size(), 1u);
    EXPECT_EQ(hello["unacked"][0]["seq"], 52);
    EXPECT_EQ(kiosk->ask({{"cmd", "ack"}, {"seq", 52}})["class"], "OK");
    kiosk.reset();
    stop();
    start();
    auto back = std::make_unique<Client>(socket);
    back->next();
    EXPECT_TRUE(back->ask({{"cmd", "hello"}, {"role", "controller"}})["unacked"].empty());
}

// A client that sends and never reads fills its queue and is dropped; the
// unit is polled on all the while.
TEST_F(DaemonRig, AClientThatNeverReadsDoesNotHoldUpThePolls) {
    start();
    Client stuck(socket);
    const int before = polls;
    const std::string many = [] {
        std::string s;
        for (int i = 0; i < 2000; ++i) s += "{\"cmd\":\"status\"}\n";
        return s;
    }();
    // Its requests pile up answers it never takes, well past the daemon's bound.
    for (int round = 0; round < 20; ++round) {
        ::fcntl(stuck.fd(), F_SETFL, O_NONBLOCK);
        ::send(stuck.fd(), many.data(), many.size(), MSG_NOSIGNAL);
    }
    EXPECT_TRUE(waitUntil([&] { return polls >= before + 20; })) << polls - before;
    auto other = observer();
    EXPECT_EQ(other->next()["class"], "OK");
    EXPECT_EQ(other->ask({{"cmd", "status"}})["class"], "STATUS");
    EXPECT_TRUE(waitUntil([&] { return fileText(dir + "/stderr").find("did not read") != std::string::npos; }));
}

TEST_F(DaemonRig, BadLinesAreRefusedAnOverlongOneEndsItsConnectionOnly) {
    start();
    Client c(socket);
    c.next();
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {"not json", "not a JSON object"},
        {"[1,2]", "not a JSON object"},
        {"{\"cmd\":\"fly\",\"id\":4}", "unknown command"},
        {"{\"cmd\":\"decide\",\"episode\":\"x\",\"action\":\"accept\"}", "\"episode\""},
        {"{\"cmd\":\"hello\",\"role\":\"king\"}", "\"role\""},
    };
    for (const Case& k : cases) {
        c.sendRaw(std::string(k.line) + "\n");
        const json m = c.next();
        EXPECT_EQ(m["class"], "ERROR") << k.line;
        EXPECT_EQ(m["error"], "bad-request") << k.line;
        EXPECT_NE(m.value("reason", "").find(k.reason), std::string::npos) << k.line << " " << m;
    }
    EXPECT_EQ(c.ask({{"cmd", "status"}, {"unknown", "field"}})["class"], "STATUS");
    auto bystander = observer();
    c.sendRaw(std::string(70 * 1024, 'x'));
    EXPECT_EQ(c.next()["error"], "bad-request");
    EXPECT_EQ(c.next(), "closed");
    EXPECT_EQ(bystander->ask({{"cmd", "status"}})["class"], "STATUS");
}

TEST_F(DaemonRig, ExitCodesForABadLineALiveSocketAndAStaleOne) {
    std::string err;
    EXPECT_EQ(runToEnd({"--simulate", "--socket", socket}, dir + "/e1", &err), 2);
    EXPECT_NE(err.find("--journal"), std::string::npos) << err;
    EXPECT_EQ(runToEnd({"--port", dir + "/no-such-tty", "--socket", socket, "--journal", journal}, dir + "/e2", &err),
              1);
    EXPECT_NE(err.find("no-such-tty"), std::string::npos) << err;

    start();
    EXPECT_EQ(runToEnd({"--simulate", "--socket", socket, "--journal", dir + "/other"}, dir + "/e3", &err), 1);
    EXPECT_NE(err.find("in use by a running daemon"), std::string::npos) << err;
    EXPECT_EQ(runToEnd({"--simulate", "--socket", dir + "/other.sock", "--journal", journal}, dir + "/e4", &err), 1);
    EXPECT_NE(err.find("in use by another halvekd"), std::string::npos) << err;
    // Killed, the daemon leaves its socket file behind: the next one replaces it.
    killHard();
    start();
    struct stat st {};
    ASSERT_EQ(::stat(socket.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

}  // namespace
}  // namespace halvek
