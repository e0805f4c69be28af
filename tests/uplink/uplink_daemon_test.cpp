// The uplink observing the real halvekd on its simulated validator: every
// record of the journal reaches a subscriber, also across a hard kill of the
// uplink mid-run.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/service_client.h"
#include "uplink/fleet_fixture.h"

namespace halvek::uplink::test {
namespace {

using halvek::test::ServiceClient;
using nlohmann::json;
using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// True when halvekd greeted the client.
bool greeted(ServiceClient& c) {
    const json v = c.next();
    return v.is_object() && v.value("class", "") == "VERSION";
}

// The kiosk: says hello as the controller and accepts every bill, on a thread
// of its own until it is destroyed (then the unit takes no more bills).
class AcceptingController {
  public:
    explicit AcceptingController(std::string socket) : thread_([this, s = std::move(socket)] { run(s); }) {}
    ~AcceptingController() {
        stop_ = true;
        thread_.join();
    }
    int accepted() const { return accepted_.load(); }

  private:
    void run(const std::string& socket) {
        ServiceClient c(socket);
        if (!greeted(c)) return;
        c.send({{"cmd", "hello"}, {"name", "kiosk"}, {"role", "controller"}});
        c.send({{"cmd", "watch"}});
        while (!stop_) {
            const json m = c.next(100ms);
            if (m == "closed") return;
            if (m.is_object() && m.value("kind", "") == "escrow" && m.contains("seq")) {
                c.send({{"cmd", "decide"}, {"episode", m["episode"]}, {"action", "accept"}});
                ++accepted_;
            }
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

class UplinkWithDaemon : public ::testing::Test {
  protected:
    UplinkWithDaemon() : port(freePort()), broker(dir, port) {}

    void SetUp() override {
        broker.start();
        // A bill about every second: enough records in a few seconds, little load.
        daemon.start(
            {HALVEKD_PATH, "--simulate", "--sim-bills", "1", "--socket", socket, "--journal", dir.file("journal")},
            dir.file("halvekd.log"));
        ASSERT_TRUE(waitUntil([&] { return ServiceClient(socket).connected(); })) << readFile(dir.file("halvekd.log"));
    }
    void startUplink() { uplink.start(uplinkArgs(dir, socket, port), dir.file("uplink.log")); }
    // The number of the journal's last record, as halvekd says it; 0 when it does not answer.
    uint64_t lastSeq() {
        ServiceClient c(socket);
        if (!greeted(c)) return 0;
        c.send({{"cmd", "hello"}, {"role", "observer"}});
        const json status = c.ask({{"cmd", "status"}});
        return status.is_object() ? status.value("seq", uint64_t{0}) : 0;
    }
    std::string logs() { return readFile(dir.file("uplink.log")) + readFile(dir.file("halvekd.log")); }

    TempDir dir;
    std::string socket = dir.file("halvekd.sock");
    int port;
    Broker broker;
    Process daemon;
    Process uplink;
};

TEST_F(UplinkWithDaemon, EveryJournalRecordArrivesAcrossAHardKillOfTheUplink) {
    Subscriber sub(port);
    ASSERT_TRUE(waitUntil([&] { return sub.subscriptions() > 0; }));
    startUplink();
    auto kiosk = std::make_unique<AcceptingController>(socket);
    auto distinct = [&] { return sub.moneySeqs().size(); };

    ASSERT_TRUE(waitUntil([&] { return distinct() >= 8; }, 60s)) << logs();
    uplink.kill(SIGKILL);
    const uint64_t beforeKill = *sub.moneySeqs().rbegin();
    startUplink();
    // Bills go on being taken while the uplink is away and after it is back.
    ASSERT_TRUE(waitUntil([&] { return distinct() >= 24; }, 60s)) << logs();
    EXPECT_GE(kiosk->accepted(), 3);

    // No controller: the unit takes no more bills, and the journal comes to rest.
    kiosk.reset();
    ASSERT_TRUE(waitUntil([&] { return sub.seenAll(lastSeq()); }, 60s))
        << "journal up to " << lastSeq() << ", seen " << sub.moneySeqs().size() << "\n"
        << logs();
    EXPECT_GT(*sub.moneySeqs().rbegin(), beforeKill);
    EXPECT_EQ(sub.badMoney(), 0u);
    // Anything sent twice (published before the kill, its acknowledgement not
    // yet kept) came with its own seq.
    EXPECT_EQ(sub.clashes(), 0u);
    EXPECT_TRUE(uplink.running());
}

}  // namespace
}  // namespace halvek::uplink::test
