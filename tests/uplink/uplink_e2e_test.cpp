// The uplink as a program between a stand-in of the service and a real
// mosquitto: every record reaches a subscriber whatever is restarted.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "uplink/fleet_fixture.h"

namespace halvek::uplink::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

// The cash box count the broker keeps for the kiosk, or -1.
int64_t cashboxCount(Subscriber& sub) {
    const json j = json::parse(sub.last("cashbox"), nullptr, false);
    return j.is_object() ? j.value("count", int64_t{-1}) : -1;
}

class UplinkE2e : public ::testing::Test {
  protected:
    UplinkE2e() : port(freePort()), broker(dir, port), service(dir.file("halvekd.sock")) {}

    void startUplink() { uplink.start(uplinkArgs(dir, service.path(), port, {"--max-pending", "16"}), log()); }
    std::string log() const { return dir.file("uplink.log"); }

    TempDir dir;
    int port;
    Broker broker;
    FakeService service;
    Process uplink;
};

TEST_F(UplinkE2e, EveryRecordArrivesOnceCountedAndTheStatusSaysOnline) {
    broker.start();
    Subscriber sub(port);
    ASSERT_TRUE(waitUntil([&] { return sub.subscriptions() > 0; }));
    service.add(200);
    startUplink();
    ASSERT_TRUE(waitUntil([&] { return sub.seenAll(200); })) << readFile(log());
    EXPECT_EQ(sub.badMoney(), 0u);
    EXPECT_EQ(json::parse(sub.last("status")), json({{"online", true}}));
    // The cash box is counted from acknowledged records only: once each.
    EXPECT_TRUE(waitUntil([&] { return cashboxCount(sub) == 200; })) << sub.last("cashbox");
    EXPECT_TRUE(waitUntil([&] { return !sub.last("state").empty(); }));
    EXPECT_EQ(json::parse(sub.last("state")).value("link", ""), "unit answering");

    // Live records after the replay.
    service.add(5);
    EXPECT_TRUE(waitUntil([&] { return sub.seenAll(205); }));

    uplink.kill(SIGTERM);
    EXPECT_EQ(uplink.waitExit(10s), 0) << readFile(log());
    EXPECT_TRUE(waitUntil([&] { return sub.last("status") == R"({"online":false})"; }));
}

TEST_F(UplinkE2e, BrokerKilledMidRunResumesWithNothingMissing) {
    broker.start();
    service.add(200);
    {
        Subscriber sub(port);
        ASSERT_TRUE(waitUntil([&] { return sub.subscriptions() > 0; }));
        startUplink();
        ASSERT_TRUE(waitUntil([&] { return sub.moneySeqs().size() >= 20; })) << readFile(log());
        broker.kill();
    }
    // While the broker is away records go on being stacked; the service is held
    // until the subscriber is back so that none is published before it listens.
    service.add(100);
    service.hold(true);
    broker.start();
    Subscriber sub(port);
    ASSERT_TRUE(waitUntil([&] { return sub.subscriptions() > 0; }));
    service.hold(false);
    // Everything after the last acknowledged record comes again: the subscriber
    // that joined late sees at least 201..300 and the resumed run's first records.
    ASSERT_TRUE(waitUntil([&] {
        const auto s = sub.moneySeqs();
        return s.size() >= 100 && *s.rbegin() == 300 && s.size() == *s.rbegin() - *s.begin() + 1;
    })) << readFile(log());
    EXPECT_EQ(sub.badMoney(), 0u);
    EXPECT_TRUE(waitUntil([&] { return cashboxCount(sub) == 300; })) << sub.last("cashbox");
    EXPECT_TRUE(uplink.running());
    EXPECT_NE(readFile(log()).find("broker 127.0.0.1:" + std::to_string(port)), std::string::npos);
}

TEST_F(UplinkE2e, UplinkKilledHardGoesOfflineAndResumesFromTheAcknowledgedRecord) {
    broker.start();
    Subscriber sub(port);
    ASSERT_TRUE(waitUntil([&] { return sub.subscriptions() > 0; }));
    service.add(200);
    startUplink();
    ASSERT_TRUE(waitUntil([&] { return sub.moneySeqs().size() >= 20; })) << readFile(log());
    uplink.kill(SIGKILL);
    // The broker's Last Will.
    ASSERT_TRUE(waitUntil([&] { return sub.last("status") == R"({"online":false})"; })) << sub.last("status");

    service.add(100);
    startUplink();
    ASSERT_TRUE(waitUntil([&] { return sub.seenAll(300); })) << readFile(log());
    EXPECT_EQ(json::parse(sub.last("status")), json({{"online", true}}));
    EXPECT_EQ(sub.badMoney(), 0u);
    EXPECT_EQ(sub.clashes(), 0u);
    // Records sent twice (killed before their acknowledgement was kept) are counted once.
    EXPECT_TRUE(waitUntil([&] { return cashboxCount(sub) == 300; })) << sub.last("cashbox");
}

TEST(UplinkLogin, ARefusedLoginIsSaidAndRetriedAndTheRightOneGoesThrough) {
    TempDir dir;
    const int port = freePort();
    const std::string passwords = dir.file("passwords");
    std::ofstream(passwords) << "";
    ASSERT_EQ(std::system(("mosquitto_passwd -b " + passwords + " kiosk right-one >/dev/null 2>&1").c_str()), 0);
    std::ofstream(dir.file("wrong")) << "wrong-one\n";
    std::ofstream(dir.file("right")) << "right-one\n";
    Broker broker(dir, port, passwords);
    broker.start();
    FakeService service(dir.file("halvekd.sock"));
    service.add(10);
    const std::string log = dir.file("uplink.log");
    auto argv = [&](const std::string& passwordFile) {
        return uplinkArgs(dir, service.path(), port, {"--username", "kiosk", "--password-file", passwordFile});
    };

    Process wrong;
    wrong.start(argv(dir.file("wrong")), log);
    const std::string said = "broker 127.0.0.1:" + std::to_string(port) + " refused the login";
    ASSERT_TRUE(waitUntil([&] { return occurrences(readFile(log), said) >= 2; })) << readFile(log);
    EXPECT_NE(readFile(log).find("trying again in 2.0 s"), std::string::npos) << readFile(log);
    EXPECT_TRUE(wrong.running());
    // Not logged in, the uplink does not read the service at all.
    EXPECT_EQ(service.connections(), 0);
    wrong.kill(SIGTERM);
    EXPECT_EQ(wrong.waitExit(10s), 0);

    Process right;
    right.start(argv(dir.file("right")), log);
    EXPECT_TRUE(waitUntil([&] { return service.connections() > 0; })) << readFile(log);
    EXPECT_TRUE(waitUntil([&] { return readFile(log).find("connected to the broker") != std::string::npos; }));
}

}  // namespace
}  // namespace halvek::uplink::test
