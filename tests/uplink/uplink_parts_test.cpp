// The uplink's pieces where a fault would lose or double a record: the
// acknowledged mark, the state file and the settings.
#include <gtest/gtest.h>

#include <fstream>

#include "uplink/fleet_fixture.h"
#include "uplink/outbox.h"
#include "uplink/settings.h"
#include "uplink/tally.h"

namespace halvek::uplink {
namespace {

using nlohmann::json;

json stacked(uint64_t seq) { return {{"seq", seq}, {"kind", "stacked"}, {"type", 2}, {"value", 500}}; }

TEST(Outbox, TheMarkMovesOnlyOverAnUnbrokenRunOfAcknowledgements) {
    Outbox box(3);
    box.reset(10);
    for (uint64_t s = 11; s <= 13; ++s) {
        ASSERT_TRUE(box.take(s, stacked(s)));
        box.sent(s, static_cast<int>(s) + 100);
    }
    EXPECT_TRUE(box.full());
    EXPECT_FALSE(box.take(12, stacked(12)));  // a replay of what was taken
    // 12 and 13 acknowledged first: 11 still pending, the mark stays at 10.
    EXPECT_TRUE(box.acknowledged(112).empty());
    EXPECT_TRUE(box.acknowledged(113).empty());
    EXPECT_TRUE(box.acknowledged(999).empty());  // someone else's message
    const auto done = box.acknowledged(111);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done.back()["seq"], 13);
    EXPECT_EQ(box.lastTaken(), 13u);
    box.reset(11);  // the broker went away after 11 was kept
    EXPECT_EQ(box.lastTaken(), 11u);
    EXPECT_TRUE(box.take(12, stacked(12)));
}

TEST(StateFile, KeepsTheTallyAndRefusesADamagedOne) {
    test::TempDir dir;
    StateFile file(dir.file("state"));
    Tally t;
    std::string error;
    ASSERT_TRUE(file.load(t, error)) << error;  // missing: a fresh start
    EXPECT_EQ(t.acked, 0u);
    t.count(stacked(1));
    t.count({{"seq", 2}, {"kind", "decision"}, {"by", "default"}});
    t.count({{"seq", 3}, {"kind", "in-doubt"}});
    t.acked = 3;
    ASSERT_TRUE(file.save(t, error)) << error;
    Tally back;
    ASSERT_TRUE(file.load(back, error)) << error;
    EXPECT_EQ(back.toJson(), t.toJson());
    EXPECT_EQ(back.cashbox[2].value, 500);

    std::ofstream(dir.file("state")) << "{\"acked\":";
    EXPECT_FALSE(file.load(back, error));
    EXPECT_NE(error.find(dir.file("state")), std::string::npos) << error;
}

TEST(Settings, TheCommandLineOverTheConfigFile) {
    test::TempDir dir;
    const std::string conf = dir.file("uplink.conf");
    std::ofstream(conf) << "# the fleet\nbroker = mq.example:8884\nsite = north\nkiosk = k7\npassword_file = "
                        << dir.file("pw") << "\nusername = k7\n";
    std::ofstream(dir.file("pw")) << "secret\n";
    auto r = parseSettings({"--config", conf, "--kiosk", "k8"});
    ASSERT_EQ(r.outcome, ParsedSettings::Outcome::Run) << r.error;
    EXPECT_EQ(r.settings.brokerName(), "mq.example:8884");
    EXPECT_EQ(r.settings.kiosk, "k8");
    EXPECT_EQ(r.settings.password, "secret");

    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Case> bad = {
        {{"--site", "a", "--kiosk", "b"}, "no broker"},
        {{"--broker", "h:99999", "--site", "a", "--kiosk", "b"}, "port"},
        {{"--broker", "h", "--site", "a/b", "--kiosk", "b"}, "--site"},
        {{"--broker", "h", "--site", "a", "--kiosk", "#"}, "--kiosk"},
        {{"--broker", "h", "--site", "a", "--kiosk", "b", "--cert", "c"}, "--key"},
        {{"--broker", "h", "--site", "a", "--kiosk", "b", "--nope", "1"}, "unknown option"},
        {{"--config", dir.file("missing.conf")}, "missing.conf"},
    };
    for (const Case& c : bad) {
        r = parseSettings(c.args, dir.file("no-default.conf"));
        EXPECT_EQ(r.outcome, ParsedSettings::Outcome::Error) << c.said;
        EXPECT_NE(r.error.find(c.said), std::string::npos) << r.error;
    }
    std::ofstream(conf) << "brokr = x\n";
    r = parseSettings({"--config", conf});
    EXPECT_NE(r.error.find("uplink.conf:1"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace halvek::uplink
