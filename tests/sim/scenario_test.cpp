#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <set>
#include <string>

#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "sim/responders.h"
#include "sim/validator_model.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<Bytes>;

// One host frame at a moment of the unit's clock, or a scenario line run then.
struct Step {
    uint8_t code;
    int64_t atMs = 0;
    bool extended = true;
    Bytes data = {};
    const char* line = nullptr;
};

// What the unit sent: right after the script, then after each step.
struct Sent {
    Frames afterScript;
    std::vector<Frames> afterStep;
    const sim::ValidatorModel* unit;
};

struct Case {
    const char* name;
    std::vector<std::string> script;
    std::vector<Step> steps;
    std::function<void(const Sent&)> check;
};

Bytes dataOf(const Bytes& f) {
    const bool extended = f[1] == 0x00;
    return Bytes(f.begin() + static_cast<long>(dataOffset(extended)), f.end() - (extended ? 2 : 1));
}

// A bill of type 4 into escrow, accepted, and then polled four times once stacked.
const std::vector<Step> kStackAndPollFour = {
    {cmd::Status, 500},  {cmd::EscrowAccept, 500}, {cmd::Status, 1200},
    {cmd::Status, 1200}, {cmd::Status, 1200},      {cmd::Status, 1200},
};

// The unit's status bits, written out here on their own.
constexpr uint8_t kStacked = 0x80;

const Case kCases[] = {
    {"drop loses the next N frames of one code only",
     {"drop CC 2"},
     {{cmd::Status}, {cmd::ReadProgRev}, {cmd::Status}, {cmd::Status}},
     [](const Sent& s) {
         EXPECT_TRUE(s.afterStep[0].empty());
         ASSERT_EQ(s.afterStep[1].size(), 1u);
         EXPECT_EQ(s.afterStep[1][0][4], cmd::ReadProgRev);
         EXPECT_TRUE(s.afterStep[2].empty());
         ASSERT_EQ(s.afterStep[3].size(), 1u);
         EXPECT_EQ(s.afterStep[3][0][4], cmd::Status);
     }},
    {"repeat-stacked reports one stacked bill on N replies",
     {"repeat-stacked 3", "insert 4"},
     kStackAndPollFour,
     [](const Sent& s) {
         for (size_t i = 2; i < 5; ++i) {
             ASSERT_EQ(s.afterStep[i].size(), 1u);
             EXPECT_TRUE(s.afterStep[i][0][5] & kStacked) << "reply " << i;
             EXPECT_EQ(s.afterStep[i][0][8], 4) << "reply " << i;
         }
         EXPECT_FALSE(s.afterStep[5][0][5] & kStacked);
         EXPECT_EQ(s.unit->lifeCount(), 1u);  // one bill, however often reported
     }},
    {"a stacked bill is reported once without repeat-stacked",
     {"insert 4"},
     kStackAndPollFour,
     [](const Sent& s) {
         EXPECT_TRUE(s.afterStep[2][0][5] & kStacked);
         EXPECT_FALSE(s.afterStep[3][0][5] & kStacked);
     }},
    {"coupon-hex carries any bytes as the coupon code",
     {"coupon-hex 1B5D00 41"},
     kStackAndPollFour,
     [](const Sent& s) {
         const Bytes d = dataOf(s.afterStep[2][0]);
         ASSERT_EQ(d.size(), 6u + 4);
         EXPECT_EQ(d[3], 16);
         EXPECT_EQ(Bytes(d.begin() + 6, d.end()), (Bytes{0x1B, 0x5D, 0x00, 0x41}));
     }},
    {"unasked sends the unit's normal data after the next poll",
     {"unasked D8"},
     {{cmd::Status}, {cmd::Status}},
     [](const Sent& s) {
         ASSERT_EQ(s.afterStep[0].size(), 2u);
         EXPECT_EQ(s.afterStep[0][0][4], cmd::Status);
         EXPECT_EQ(s.afterStep[0][1][4], cmd::ReadProgRev);
         EXPECT_EQ(dataOf(s.afterStep[0][1]), (Bytes{'L', '8', 'V', 'Q', 'A', '0', '3', '4'}));
         EXPECT_EQ(s.afterStep[1].size(), 1u);  // once only
     }},
    {"unasked with given bytes, in the link's layout",
     {"unasked 63 BE EF"},
     {{cmd::Status, 0, false}},
     [](const Sent& s) {
         ASSERT_EQ(s.afterStep[0].size(), 2u);
         EXPECT_EQ(s.afterStep[0][1], (Bytes{0x02, 0x06, 0x63, 0xBE, 0xEF, 0xE8}));
     }},
    {"unasked status data do not use up a stacked bill's report",
     {"insert 4"},
     {{cmd::Status, 500}, {cmd::EscrowAccept, 500}},
     [](const Sent& s) {
         sim::ValidatorModel unit = *s.unit;
         unit.advance(1200);
         EXPECT_TRUE(unit.normalData(cmd::Status, 1200)[0] & kStacked);
         EXPECT_TRUE(unit.statusBytes()[0] & kStacked);
     }},
    {"flip turns one bit of the next reply and leaves the checksum",
     {"flip 33"},
     {{cmd::Status}, {cmd::Status}},
     [](const Sent& s) {
         const Bytes& f = s.afterStep[0][0];
         EXPECT_EQ(f[4], cmd::Status ^ 0x02);  // byte 4, bit 1
         EXPECT_FALSE(checksumValid(f.data(), f.size(), true));
         const Bytes& g = s.afterStep[1][0];
         EXPECT_TRUE(checksumValid(g.data(), g.size(), true));
     }},
    {"announce claims an oversize length and sends that many bytes",
     {"announce 0x0800"},
     {{cmd::ReadRtc}},
     [](const Sent& s) {
         const Bytes& f = s.afterStep[0][0];
         ASSERT_EQ(f.size(), 2048u);
         EXPECT_EQ(Bytes(f.begin(), f.begin() + 5), (Bytes{0x02, 0x00, 0x08, 0x00, cmd::ReadRtc}));
     }},
    {"announce claims an undersize length over a reply of the true size",
     {"announce 3"},
     {{cmd::ReadRtc}},
     [](const Sent& s) {
         const Bytes& f = s.afterStep[0][0];
         EXPECT_EQ(f.size(), 15u);
         EXPECT_EQ(f[2] * 256 + f[3], 3);
     }},
    {"announce in short frames stops at what one length byte holds",
     {"announce 2048"},
     {{cmd::ReadRtc, 0, false}},
     [](const Sent& s) {
         const Bytes& f = s.afterStep[0][0];
         EXPECT_EQ(f.size(), 255u);
         EXPECT_EQ(f[1], 255);
     }},
    {"long-reply answers the next read stats with an N-byte long frame",
     {"long-reply 2048"},
     {{cmd::ReadStats}, {cmd::ReadStats}},
     [](const Sent& s) {
         const Bytes& f = s.afterStep[0][0];
         ASSERT_EQ(f.size(), 2048u);
         EXPECT_EQ(f[2] * 256 + f[3], 2048);
         EXPECT_EQ(f[4], cmd::ReadStats);
         EXPECT_TRUE(checksumValid(f.data(), f.size(), true));
         EXPECT_EQ(s.afterStep[1][0].size(), 7u + 2 * 64 + 2 * 20);
     }},
    {"long-reply for a chosen read comes in the long layout on a short link",
     {"long-reply 300 E1"},
     {{cmd::ReadStats, 0, false}, {cmd::ReadSetup, 0, false}},
     [](const Sent& s) {
         EXPECT_EQ(s.afterStep[0][0][1], 4 + 2 * 16 + 2 * 20);
         const Bytes& f = s.afterStep[1][0];
         ASSERT_EQ(f.size(), 300u);
         EXPECT_EQ(f[1], 0x00);
         EXPECT_EQ(f[4], cmd::ReadSetup);
     }},
    {"events puts several new faults and a rejection into one reply",
     {"events 11"},
     {{cmd::Status}, {cmd::Status}},
     [](const Sent& s) {
         const Bytes d = dataOf(s.afterStep[0][0]);
         EXPECT_EQ(d[0] & 0x1F, 0x0F);                // reason: unable to eject
         EXPECT_EQ(d[1], 0x01 | 0x10 | 0x04 | 0x40);  // idle, rejected, returning, power-up
         EXPECT_EQ(d[2], 0xFF);                       // every fault and condition bit
         const Bytes next = dataOf(s.afterStep[1][0]);
         EXPECT_EQ(next[1], 0x01);
         EXPECT_EQ(next[2], 0x00);
     }},
    {"events takes the faults in order and skips what is already reported",
     {"jam"},
     {{cmd::Status}, {0, 0, true, {}, "events 3"}, {cmd::Status}},
     [](const Sent& s) {
         const Bytes d = dataOf(s.afterStep[2][0]);
         EXPECT_EQ(d[1] & 0x10, 0x10);
         EXPECT_EQ(d[2], 0x01 | 0x02 | 0x08);  // the bill jam is not new: stacker jam and full
     }},
    {"unasked-interrupt claims interrupt mode in one read setup",
     {"unasked-interrupt"},
     {{cmd::ReadSetup}, {cmd::ReadSetup}},
     [](const Sent& s) {
         EXPECT_EQ(dataOf(s.afterStep[0][0]), (Bytes{0x04 | 0x08}));
         EXPECT_EQ(dataOf(s.afterStep[1][0]), (Bytes{0x04}));
         EXPECT_FALSE(s.unit->interruptMode());
     }},
    {"stray sends one byte on its own at once",
     {"stray", "stray 7E"},
     {},
     [](const Sent& s) {
         EXPECT_EQ(s.afterScript, (Frames{{0xA5}, {0x7E}}));
     }},
    {"flood-poll sends N poll-now frames in the link's layout",
     {"flood-poll 1"},
     {{cmd::Status, 0, false}, {0, 0, false, {}, "flood-poll 2"}},
     [](const Sent& s) {
         EXPECT_EQ(s.afterScript, (Frames{{0x02, 0x00, 0x00, 0x07, 0x55, 0xFF, 0xA2}}));
         EXPECT_EQ(s.afterStep[1], (Frames{{0x02, 0x04, 0x55, 0xA5, 0x02, 0x04, 0x55, 0xA5}}));
     }},
    {"crc-busy leaves Read CRC unanswered until the unit's checksum is done",
     {"crc-busy 800"},
     {{cmd::RunCrc32, 0, true, {0xFF, 0xFF, 0xFF, 0xFF}}, {cmd::ReadCrc32, 500}, {cmd::ReadCrc32, 900}},
     [](const Sent& s) {
         EXPECT_TRUE(s.afterStep[1].empty());
         ASSERT_EQ(s.afterStep[2].size(), 1u);
         EXPECT_EQ(s.afterStep[2][0][4], cmd::ReadCrc32);
     }},
    {"truncate-next cuts one reply short",
     {"truncate-next"},
     {{cmd::Status}, {cmd::Status}},
     [](const Sent& s) {
         EXPECT_EQ(s.afterStep[0][0].size(), 6u);
         EXPECT_EQ(s.afterStep[1][0].size(), 13u);
     }},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ScenarioCommands : public ::testing::TestWithParam<Case> {};

TEST_P(ScenarioCommands, SendWhatTheyPromise) {
    const Case& c = GetParam();
    sim::ValidatorModel unit;
    Sent sent{{}, {}, &unit};
    for (const std::string& line : c.script) ASSERT_EQ(unit.execute(line, 0), "") << line;
    sent.afterScript = unit.takeOutput();
    for (const Step& step : c.steps) {
        unit.advance(step.atMs);
        unit.takeOutput();
        if (step.line)
            ASSERT_EQ(unit.execute(step.line, step.atMs), "") << step.line;
        else
            unit.handleFrame(encodeFrame(step.extended, step.code, step.data), step.atMs);
        sent.afterStep.push_back(unit.takeOutput());
        ASSERT_TRUE(sent.afterStep.back().size() <= 2);
    }
    c.check(sent);
}

INSTANTIATE_TEST_SUITE_P(Simulator, ScenarioCommands, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST(ScenarioLanguage, RefusesBadArgumentsWithTheirUsage) {
    const std::pair<const char*, const char*> kBad[] = {
        {"drop", "drop CODE(hex) [N]"},
        {"drop CC 0", "drop CODE(hex) [N]"},
        {"repeat-stacked 0", "repeat-stacked N"},
        {"unasked", "unasked CODE(hex)"},
        {"unasked D1 ABC", "unasked CODE(hex)"},
        {"flip x", "flip BIT"},
        {"announce 65536", "announce LEN"},
        {"announce 0800x", "announce LEN"},
        {"stray 02", "not the start byte"},
        {"flood-poll 0", "flood-poll N"},
        {"long-reply 6", "long-reply N"},
        {"coupon-hex 1B5", "coupon-hex HEXBYTES"},
        {"coupon-hex ZZ", "coupon-hex HEXBYTES"},
        {"events 12", "events N (1 to 11)"},
        {"crc-busy -1", "crc-busy MS"},
        {"insert 99", "bill type must be 1 to 64"},
        {"frobnicate", "unknown command 'frobnicate'"},
    };
    sim::ValidatorModel unit;
    for (const auto& [line, complaint] : kBad)
        EXPECT_NE(unit.execute(line, 0).find(complaint), std::string::npos) << line;
    EXPECT_TRUE(unit.takeOutput().empty());
}

// New rows come from several hands at once: a code answered twice or a command
// listed twice would silently shadow the other.
TEST(SimulatorTables, HoldEachCodeAndEachCommandOnce) {
    std::set<uint8_t> codes;
    for (const sim::Responder& r : sim::responders()) {
        EXPECT_TRUE(codes.insert(r.code).second) << "code " << int(r.code);
        EXPECT_TRUE(r.code == cmd::Status || findCommand(r.code)) << "code " << int(r.code);
    }
    std::set<std::string> names;
    for (const sim::ScenarioCommand& c : sim::scenarioCommands()) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        EXPECT_NE(sim::scenarioHelp().find(std::string("  ") + c.name + " "), std::string::npos) << c.name;
    }
}

}  // namespace
}  // namespace halvek
