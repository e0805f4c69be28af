#include <gtest/gtest.h>

#include "controller_bench.h"
#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ControllerBench;

Bytes le16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    return b;
}

// "read diagn.(0)" goes out with a selector; its reply is read by the selector sent.
void replyDiagnostics(ControllerBench& b, uint8_t selector, const Bytes& data) {
    b.controller.setDiagnosticsSelector(selector);
    b.controller.request(cmd::ReadDiagn0);
    b.controller.onTick();
    b.take();
    b.reply(cmd::ReadDiagn0, data);
}

TEST(Handlers, StatisticsAreStoredAndTheSingleStepHighlighted) {
    ControllerBench b;
    Bytes d = le16({});
    for (int t = 0; t < 64; ++t) d.insert(d.end(), {static_cast<uint8_t>(t), 0});
    Bytes events(40, 0);
    events[2 * 2] = 3;  // event 3: 3
    events[2 * 5] = 1;  // event 6: 1
    d.insert(d.end(), events.begin(), events.end());
    b.reply(cmd::ReadStats, d);
    EXPECT_EQ(b.stores.statistics.billCounts[63], 63);
    EXPECT_EQ(b.stores.statistics.lastEvent, 6);  // 0 -> 1; event 3 jumped by 3

    events[0] = 7;      // event 1 is never counted
    events[2 * 2] = 4;  // event 3 +1
    events[2 * 9] = 1;  // event 10 +1: the later one wins
    d.resize(128);
    d.insert(d.end(), events.begin(), events.end());
    b.reply(cmd::ReadStats, d);
    EXPECT_EQ(b.stores.statistics.lastEvent, 10);
    EXPECT_EQ(b.stores.statistics.eventCounts[0], 0);
    EXPECT_EQ(b.stores.statistics.eventCounts[2], 4);

    // A standard reply covers bill types 1-16 only.
    ControllerBench s(false);
    s.stores.statistics.billCounts[20] = 99;
    Bytes sd(32 + 40, 1);
    s.reply(cmd::ReadStats, sd);
    EXPECT_EQ(s.stores.statistics.billCounts[15], 0x0101);
    EXPECT_EQ(s.stores.statistics.billCounts[20], 99);
}

TEST(Handlers, SensorLayoutsByLength) {
    struct Case {
        size_t n;
        bool l8v;
        uint8_t emitter1, emitter2;
    };
    const Case cases[] = {{28, true, 28, 0xAA}, {27, true, 0, 0xAA}, {15, true, 0, 0xAA},
                          {14, false, 6, 9},    {9, false, 6, 9},    {8, false, 6, 0}};
    for (const Case& c : cases) {
        ControllerBench b;
        b.stores.sensors.barcodeEmitter2 = 0xAA;
        Bytes d(c.n);
        for (size_t i = 0; i < c.n; ++i) d[i] = static_cast<uint8_t>(i + 1);
        replyDiagnostics(b, 0xA0, d);
        const SensorStore& s = b.stores.sensors;
        EXPECT_EQ(s.l8v, c.l8v) << c.n;
        EXPECT_EQ(s.barcodeEmitter1, c.emitter1) << c.n;
        EXPECT_EQ(s.barcodeEmitter2, c.emitter2) << c.n;
        if (c.l8v) {
            EXPECT_EQ(s.full[FrontRight].gain, 0x0102) << c.n;
            EXPECT_EQ(s.full[RearExit].status, 15) << c.n;
            // Bytes the reply does not hold read as zero, never as what the buffer had.
            EXPECT_EQ(s.full[Sidelook].gain, c.n >= 17 ? 0x1011 : 0) << c.n;
        } else {
            EXPECT_EQ(s.sidelookGain, 0x0304) << c.n;
        }
    }
}

TEST(Handlers, VideoMeansOverTheSamples) {
    ControllerBench b;
    b.stores.sensors.l8v = true;
    Bytes d;
    for (int s = 0; s < 5; ++s)
        for (int p = 0; p < 28; ++p)
            d.insert(d.end(), {static_cast<uint8_t>(200 + s), static_cast<uint8_t>(70 + 2 * s)});
    replyDiagnostics(b, 0xA1, d);
    EXPECT_EQ(b.stores.video.reflLevel(0, 0), 202);
    EXPECT_EQ(b.stores.video.transLevel(6, 3), 74);
    EXPECT_EQ(b.stores.video.reflLevel(3, 1), 0);  // not fitted on this variant
    EXPECT_EQ(b.stores.video.reflLevel(4, 2), 0);
    EXPECT_TRUE(b.stores.video.received);

    ControllerBench s(false);
    Bytes one(56, 0);
    one[0] = 211;
    one[55] = 83;
    replyDiagnostics(s, 0xA1, one);
    EXPECT_EQ(s.stores.video.reflLevel(0, 0), 211);
    EXPECT_EQ(s.stores.video.transLevel(6, 3), 83);
}

TEST(Handlers, OpticsGainsByVariant) {
    for (bool l8v : {true, false}) {
        ControllerBench b;
        b.stores.sensors.l8v = l8v;
        Bytes d(392, 0);
        d[168] = 0xAB;
        d[169] = 0xCD;
        d[224] = 0xAB;
        d[225] = 0xCD;
        d[281] = 77;
        b.reply(cmd::ReadDiagn1, d);
        EXPECT_EQ(b.stores.optics.transGain[0][0], l8v ? 0xABCD : 0x0ACD);
        EXPECT_EQ(b.stores.optics.reflGain[0][0], 0xABCD);
        EXPECT_EQ(b.stores.optics.transEmitter[0][0], 77);
        EXPECT_TRUE(b.stores.optics.received);
    }
}

TEST(Handlers, CountersIdentityAndClock) {
    ControllerBench b;
    b.stores.counters.qrvCounts[2] = 5;
    b.reply(cmd::ReadQrvBillCount, {0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(b.stores.counters.qrvCounts[0], 256u);
    EXPECT_EQ(b.stores.counters.qrvCounts[1], 0xFFFFFFFFu);
    EXPECT_EQ(b.stores.counters.qrvCounts[2], 5u);
    b.reply(cmd::ReadBillCounter, {0x01, 0x02, 0x03});
    EXPECT_EQ(b.stores.counters.lifeCount, 0x030201u);
    // A count cut short would read low and settle a stacked bill as returned: it is not used.
    b.reply(cmd::ReadBillCounter, {0x07, 0x00});
    EXPECT_EQ(b.stores.counters.lifeCount, 0x030201u);
    EXPECT_EQ(b.controller.linkCounters().unusable, 1u);
    b.reply(cmd::ReadLastFive, {1, 2, 3, 4, 5});
    EXPECT_EQ(b.stores.counters.lastFive[4], 5);
    b.reply(cmd::ReadBurnCycles, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(b.stores.identity.burnCycles, -1);
    b.reply(cmd::ReadSystemId, {0x12, 0x34});
    EXPECT_EQ(b.stores.identity.systemId, (std::array<uint8_t, 2>{0x12, 0x34}));
    b.reply(cmd::ReadAssetNum, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(b.stores.identity.assetNumber[5], 6);

    b.stores.rtc = {9, 9, 9, 9, 9, 9, 9, 9};
    b.reply(cmd::ReadRtc, {0x26, 0x12, 0x10});  // a short clock reply changes only what it holds
    EXPECT_EQ(b.stores.rtc, (RtcRecord{0x26, 0x12, 0x10, 9, 9, 9, 9, 9}));
    EXPECT_EQ(b.ui.refreshed.back(), View::Rtc);
}

TEST(Handlers, ProgramRevisionDecidesTheDiagnostics) {
    const std::pair<const char*, bool> cases[] = {{"L8VQA150", false}, {"L8VQA095", true},  {"L8VQA250", true},
                                                  {"L8VQA101", false}, {"L8VQA1x9", false}, {"L8VQAabc", true}};
    for (const auto& [rev, available] : cases) {
        ControllerBench b;
        b.reply(cmd::ReadProgRev, Bytes(rev, rev + 8));
        EXPECT_EQ(b.controller.diagnosticsAvailable(), available) << rev;
        EXPECT_STREQ(b.stores.identity.revision.data(), rev);
    }
    ControllerBench b;
    b.reply(cmd::ReadProgRev, Bytes{'L', '8', 'V', 'Q', 'A', '1', '5', '0'});
    b.controller.requestSensorData();
    ASSERT_EQ(b.ui.messages.size(), 1u);
    EXPECT_EQ(b.ui.messages[0].text, "The sensors data is not available");
    EXPECT_EQ(b.controller.requestState(cmd::ReadDiagn0), RequestState::Idle);
}

TEST(Handlers, BillTablesInBothLayouts) {
    ControllerBench ext;
    ext.reply(0xE5, {3, 1, 'E', 'U', 'R', 5, 2, 2, 'E', 'U', 'R', 50, 0xFF, 16, 'C', 'P', 'N', 9, 0});
    EXPECT_EQ(ext.stores.bills.value(1), 500);
    EXPECT_EQ(ext.stores.bills.value(2), 5);
    EXPECT_EQ(ext.stores.bills.value(16), 1);  // the coupon
    EXPECT_EQ(ext.stores.bills.currency(1), "EUR");
    EXPECT_TRUE(ext.stores.bills.tableLoaded);

    ControllerBench std(false);
    std.reply(0xE2, {2, 1, 'U', 'S', 'D', 0x25, 200, 'U', 'S', 'D', 0x11});  // type 200 has no slot
    EXPECT_EQ(std.stores.bills.value(1), 200000);
    EXPECT_EQ(std.stores.bills.table[0][0], 1);
    EXPECT_TRUE(std.stores.bills.tableLoaded);

    std.reply(0xC1, {0x01, 0x80});  // first byte: types 9-16
    EXPECT_EQ(std.stores.bills.enabled[8], 1);
    EXPECT_EQ(std.stores.bills.enabled[7], 1);
    EXPECT_EQ(std.stores.bills.enabled[0], 0);
}

// Collects what the link says of itself.
struct Notices : StatusListener {
    void linkNotice(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

TEST(Handlers, SetupByteAndCassetteChain) {
    ControllerBench b;
    Notices notices;
    b.controller.addStatusListener(&notices);
    b.reply(cmd::ReadSetup, {0x09});
    const SetupSwitches& s = b.stores.setup;
    EXPECT_TRUE(s.sides);
    EXPECT_FALSE(s.ways || s.escrow || s.stacker || s.plate || s.inhibit || s.orientation);
    EXPECT_TRUE(b.controller.interruptMode());
    EXPECT_EQ(b.ui.captions.back(), "Controller in INTERRUPT mode");
    // A change of the unit's mode is said once; the same mode again says nothing.
    b.reply(cmd::ReadSetup, {0x08});
    b.reply(cmd::ReadSetup, {0x00});
    EXPECT_EQ(notices.lines, (std::vector<std::string>{text::kUnitInInterruptMode, text::kUnitInPollingMode}));
    EXPECT_FALSE(b.controller.interruptMode());

    b.reply(cmd::ReadCassBillBuf, Bytes{0x01, 0x02});
    EXPECT_EQ(b.stores.cassette.billCounts[1], 0x0102);
    EXPECT_EQ(b.controller.requestState(cmd::ReadCassFaultBuf), RequestState::Requested);
}

}  // namespace
}  // namespace halvek
