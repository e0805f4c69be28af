// The uplink's pieces where a fault would lose or double a record: the
// acknowledged mark, the state file and the settings.
#include <gtest/gtest.h>

#include <fstream>

#include "uplink/fleet_fixture.h"
#include "uplink/fleet_messages.h"
#include "uplink/outbox.h"
#include "uplink/service_message.h"
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

// Whatever a line holds, reading it never throws (an exception would end the
// uplink): a field of the wrong type reads as absent, a record without a
// usable number is not the service's protocol.
TEST(ServiceMessage, EveryLineIsReadWithoutThrowing) {
    using Kind = ServiceMessage::Kind;
    struct Case {
        const char* line;
        Kind kind;
        uint64_t seq;
    };
    const Case cases[] = {
        {R"({"class":"VERSION","proto":1})", Kind::Version, 0},
        {R"({"class":"EVENT","seq":7,"kind":"stacked"})", Kind::Money, 7},
        {R"({"class":"EVENT","seq":-1,"kind":"stacked"})", Kind::Bad, 0},
        {R"({"class":"EVENT","seq":2.5})", Kind::Bad, 0},
        {R"({"class":"EVENT","seq":"3"})", Kind::Bad, 0},
        {R"({"class":"EVENT","kind":5,"text":["jam"]})", Kind::Event, 0},
        {R"({"class":"GAP","since":"x","first":50})", Kind::Gap, 50},
        {R"({"class":7})", Kind::Other, 0},
        {R"({"class":"OK"})", Kind::Other, 0},
        {"[1,2]", Kind::Bad, 0},
        {"not json", Kind::Bad, 0},
    };
    for (const Case& c : cases) {
        const ServiceMessage m = parseServiceLine(c.line);
        EXPECT_EQ(m.kind, c.kind) << c.line;
        EXPECT_EQ(m.seq, c.seq) << c.line;
        if (m.kind == Kind::Bad) {
            EXPECT_FALSE(m.problem.empty()) << c.line;
            continue;
        }
        // What the uplink makes of the rest goes through as well.
        (void)alertFor(m.body);
        (void)statePayload(m.body, "unknown", 0);
    }
    EXPECT_EQ(parseServiceLine(R"({"class":"VERSION","proto":"1"})").proto, 0);
    EXPECT_EQ(parseServiceLine(R"({"class":"ERROR","error":"bad-request","reason":4})").text, "bad-request: ");
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

    // Damaged: cut short, or a mark that would skip records or send them all again.
    for (const char* damaged :
         {R"({"acked":)", R"({"acked":-1})", R"({"acked":2.5})", R"({"acked":3,"in_doubt":1e300})",
          R"({"acked":3,"cashbox":{"2":{"count":1.5,"value":1}}})"}) {
        std::ofstream(dir.file("state")) << damaged;
        error.clear();
        EXPECT_FALSE(file.load(back, error)) << damaged;
        EXPECT_NE(error.find(dir.file("state")), std::string::npos) << error;
    }
    // A record's absurd value is not counted as a number it is not.
    Tally odd;
    odd.count({{"seq", 1}, {"kind", "stacked"}, {"type", 2}, {"value", 1e300}});
    odd.count({{"seq", 2}, {"kind", "stacked"}, {"type", 2}, {"value", INT64_MAX}});
    odd.count({{"seq", 3}, {"kind", "stacked"}, {"type", 2}, {"value", INT64_MAX}});
    EXPECT_EQ(odd.cashbox[2].count, 3);
    EXPECT_EQ(odd.cashbox[2].value, INT64_MAX);
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
