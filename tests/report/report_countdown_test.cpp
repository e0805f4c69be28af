#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "link/controller_bench.h"
#include "protocol/catalogue.h"
#include "report/report_session.h"
#include "sim/sim_data.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

// A unit played by hand over a controller without a line: each tick takes the
// frame placed and answers it as told, then ticks the report session.
struct HandUnit : ReportSessionListener {
    enum Way { Answer, Silent, Refuse };

    // Connected a while ago: the start-up reads are through (or went unanswered,
    // when the header is not known).
    explicit HandUnit(bool headerKnown = true) {
        b.controller.startTimer();
        b.status({0, 1, 0, 0, 0, 0});  // the unit answers, idle
        b.controller.setStartupCountdown(0);
        if (headerKnown) {
            const char rev[] = "L8VQA034";
            std::copy(rev, rev + 8, b.stores.identity.revision.begin());
            b.stores.bills.tableLoaded = true;
        }
    }

    void tick() {
        b.tick();
        const Bytes frame = b.take();
        if (!frame.empty()) answer(frame);
        session.onTick();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    bool tickUntil(const std::function<bool()>& condition, int limit = 120) {
        for (int i = 0; i < limit && !condition(); ++i) tick();
        return condition();
    }

    void answer(const Bytes& frame) {
        const uint8_t code = frame[codeOffset(true)];
        const uint8_t selector = frame.size() > 7 ? frame[dataOffset(true)] : 0;
        if (code == cmd::Status) return;  // polls go unanswered: only the reads matter here
        sent.push_back({code, selector});
        ++asked[{code, selector}];
        const Way way = ways.count(code) ? ways[code] : Answer;
        if (way == Silent) return;
        if (way == Refuse) return b.reply(cmd::Unsupported);
        b.reply(code, data(code, selector));
        ++answered[{code, selector}];
    }
    Bytes data(uint8_t code, uint8_t selector) const {
        switch (code) {
            case cmd::ReadStats:
                return Bytes(168, 1);
            case cmd::ReadDiagn1:
                return sim::opticsData(sim::Variant::L8V, false);
            case cmd::ReadDiagn0:
                return selector == 0xA1 ? sim::videoData(sim::Variant::L8V, 5, false)
                                        : sim::sensorData(sim::Variant::L8V, false);
            case cmd::ReadProgRev:
                return Bytes(revision.begin(), revision.end());
            case cmd::ReadCreditTable:
                return sim::creditTableData(sim::defaultNotes());
            default:
                return {};
        }
    }
    bool wasSent(uint8_t code, uint8_t selector = 0) const {
        for (const auto& s : sent)
            if (s.first == code && (selector == 0 || s.second == selector)) return true;
        return false;
    }
    void reportReadsChanged() override { ++changes; }

    void choose(bool statistics, bool sensors, bool optics, bool video) {
        ReportOptions o;
        o.statistics = statistics, o.sensors = sensors, o.mainOptics = optics, o.video = video;
        o.serialNumber = "123";
        session.setOptions(o);
    }

    test::ControllerBench b;
    ReportSession session{b.controller, this};
    std::map<uint8_t, Way> ways;
    std::string revision = "L8VQA034";
    std::vector<std::pair<uint8_t, uint8_t>> sent;
    std::map<std::pair<uint8_t, uint8_t>, int> answered, asked;
    int changes = 0;
};

TEST(ReportCountdown, OkOnlyOnceEveryReadOfTheChosenPartsIsAnswered) {
    HandUnit u;
    u.choose(true, true, true, false);
    ASSERT_TRUE(u.session.open());
    const std::string path = (std::filesystem::temp_directory_path() / "halvek-report-early.TXT").string();
    std::filesystem::remove(path);
    bool sawWaiting = false;
    while (!u.session.ready() && u.sent.size() < 60) {
        // Until then nothing is written: no stale stores passed off as the unit's data.
        EXPECT_FALSE(u.session.save(path).written);
        EXPECT_FALSE(std::filesystem::exists(path));
        sawWaiting = sawWaiting || !u.session.waitingFor().empty();
        u.tick();
    }
    ASSERT_TRUE(u.session.ready());
    EXPECT_TRUE(sawWaiting);
    EXPECT_GT(u.changes, 0);
    // Each read once, one a tick: the sensors (the variant), then the statistics and the optics.
    const std::vector<std::pair<uint8_t, uint8_t>> order = {
        {cmd::ReadDiagn0, 0xA0}, {cmd::ReadStats, 0}, {cmd::ReadDiagn1, 0}};
    EXPECT_EQ(u.sent, order);
    EXPECT_EQ(u.session.proposedFileName(), "L8V_123.TXT");
}

// The variant names the file and titles it, whatever parts are chosen: the
// sensor read that tells it comes first, and every part waits for it.
TEST(ReportCountdown, EveryPartWaitsForTheReadThatTellsTheVariant) {
    struct Case {
        bool stats, sensors, optics, video;
        std::vector<std::pair<uint8_t, uint8_t>> sent;
    } cases[] = {
        {true, false, false, false, {{cmd::ReadDiagn0, 0xA0}, {cmd::ReadStats, 0}}},
        {false, false, true, false, {{cmd::ReadDiagn0, 0xA0}, {cmd::ReadDiagn1, 0}}},
        {false, false, false, true, {{cmd::ReadDiagn0, 0xA0}, {cmd::ReadDiagn0, 0xA1}}},
    };
    for (const Case& c : cases) {
        HandUnit u;
        u.choose(c.stats, c.sensors, c.optics, c.video);
        u.session.open();
        ASSERT_TRUE(u.tickUntil([&] { return u.session.ready(); }));
        EXPECT_EQ(u.sent, c.sent);
        EXPECT_TRUE(u.b.stores.sensors.l8v);
        EXPECT_EQ(u.session.proposedFileName(), "L8V_123.TXT");
        if (c.stats) {
            EXPECT_NE(u.session.reportBytes().find(" L8V diagnostics file "), std::string::npos);
        }
    }
    // The variant read unanswered: no part is written under a variant guessed.
    HandUnit silent;
    silent.ways[cmd::ReadDiagn0] = HandUnit::Silent;
    silent.choose(true, false, false, false);
    silent.session.open();
    ASSERT_TRUE(silent.tickUntil([&] { return silent.session.failed(); }));
    EXPECT_EQ(silent.session.problem(), "Statistics: the unit did not answer \"read diagn.(0)\"");
    EXPECT_EQ((silent.asked[{cmd::ReadStats, 0}]), 0);  // nothing read behind it
}

TEST(ReportCountdown, APartWhoseReadGoesUnansweredIsNamedAndBlocksOnlyItself) {
    struct Case {
        uint8_t code;
        HandUnit::Way way;
        ReportPart part;
        const char* problem;
    } cases[] = {
        {cmd::ReadDiagn1, HandUnit::Silent, ReportPart::MainOptics,
         "Main Optics Data: the unit did not answer \"read diagn.(1)\""},
        {cmd::ReadStats, HandUnit::Refuse, ReportPart::Statistics,
         "Statistics: the unit did not answer \"read stats\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        HandUnit u;
        u.ways[c.code] = c.way;
        u.session.open();
        ASSERT_TRUE(u.tickUntil([&] { return u.session.failed(); }));
        EXPECT_FALSE(u.session.ready());
        EXPECT_EQ(u.session.problem(), c.problem);
        EXPECT_EQ(u.session.countdown().state(c.part), ReadState::Failed);
        // Leaving that part out lets the rest be written.
        ReportOptions o = u.session.options();
        o.set(c.part, false);
        u.session.setOptions(o);
        EXPECT_TRUE(u.tickUntil([&] { return u.session.ready(); }));
    }
}

TEST(ReportCountdown, SensorsOfAFirmwareWithoutDiagnosticsAreNotAvailable) {
    HandUnit u(false);
    u.revision = "L8-QA150";  // revisions 101-199 cannot deliver the diagnostics reads
    u.session.open();
    ASSERT_TRUE(u.tickUntil([&] { return u.session.failed(); }));
    EXPECT_EQ(u.session.problem(), "Sensors Data: The sensors data is not available");
    EXPECT_FALSE(u.wasSent(cmd::ReadDiagn0));
    u.choose(true, false, true, false);
    EXPECT_TRUE(u.tickUntil([&] { return u.session.ready(); }));
}

TEST(ReportCountdown, AFreshConnectionReadsWhatTheHeaderNeeds) {
    HandUnit u(false);
    u.choose(true, false, false, false);
    u.session.open();
    ASSERT_TRUE(u.tickUntil([&] { return u.session.ready(); }));
    EXPECT_TRUE(u.wasSent(cmd::ReadProgRev));
    EXPECT_TRUE(u.wasSent(cmd::ReadCreditTable));
    EXPECT_EQ(std::string(u.b.stores.identity.revision.data()), "L8VQA034");
    EXPECT_EQ(u.b.stores.bills.values[1], 5);
}

TEST(ReportCountdown, VideoIsReadAfterTheSensorsWithItsOwnSelector) {
    HandUnit u;
    u.choose(false, true, false, true);
    u.session.open();
    ASSERT_TRUE(u.tickUntil([&] { return u.session.ready(); }));
    EXPECT_EQ((u.answered[{cmd::ReadDiagn0, 0xA0}]), 1);
    EXPECT_EQ((u.answered[{cmd::ReadDiagn0, 0xA1}]), 1);
    EXPECT_TRUE(u.b.stores.video.received);
    EXPECT_EQ(u.b.stores.video.transLevel(0, 0), 80);  // the mean of the five samples
}

TEST(ReportCountdown, NothingIsReadWhileNotConnected) {
    test::ControllerBench b;
    ReportSession session(b.controller);
    EXPECT_FALSE(session.open());
    b.controller.onTick();
    EXPECT_EQ(b.controller.requestState(cmd::ReadStats), RequestState::Idle);
}

}  // namespace
}  // namespace halvek
