#include <gtest/gtest.h>

#include "pages/sensors/sensors_replies.h"
#include "pages/sensors/sensors_view.h"
#include "protocol/catalogue.h"
#include "reply_bytes.h"

namespace halvek {
namespace {

using test::ReplyBytes;

// Data bytes 1, 2, 3, ...: every field tells where it was read from.
std::vector<uint8_t> counting(size_t n) {
    std::vector<uint8_t> d(n);
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i + 1);
    return d;
}

TEST(SensorsReply, TheLengthChoosesTheLayout) {
    struct Case {
        size_t n;
        bool stored, l8v;
        int emitter1, emitter2;
    };
    const Case cases[] =
        {
            {28, true, true, 28, 0xAA},   {27, true, true, 0, 0xAA}, {15, true, true, 0, 0xAA},
            {14, true, false, 6, 9},      {9, true, false, 6, 9},    {8, true, false, 6, 0},
            {7, false, true, 0x77, 0xAA},  // too short for either layout: nothing changes
        };
    for (bool extended : {true, false}) {
        for (const Case& c : cases) {
            SensorStore s;
            s.l8v = true;
            s.barcodeEmitter1 = 0x77;
            s.barcodeEmitter2 = 0xAA;
            EXPECT_EQ(storeSensors(s, ReplyBytes(extended, cmd::ReadDiagn0, counting(c.n)).reply()), c.stored) << c.n;
            EXPECT_EQ(s.received, c.stored) << c.n;
            EXPECT_EQ(s.l8v, c.l8v) << c.n;
            EXPECT_EQ(s.barcodeEmitter1, c.emitter1) << c.n << (extended ? " long" : " short");
            EXPECT_EQ(s.barcodeEmitter2, c.emitter2) << c.n;
            if (!c.stored) continue;
            if (c.l8v) {
                EXPECT_EQ(s.full[FrontRight].gain, 0x0102) << c.n;
                EXPECT_EQ(s.full[RearExit].status, 15) << c.n;
                EXPECT_EQ(s.full[ChanOpen].gain, c.n >= 22 ? 0x1516 : 0) << c.n << ": beyond the reply reads 0";
                EXPECT_EQ(s.currentTemperature, c.n >= 27 ? 27 : 0) << c.n;
            } else {
                EXPECT_EQ(s.frontStatus, 1);
                EXPECT_EQ(s.sidelookGain, 0x0304);
                EXPECT_EQ(s.currentTemperature, 8);
            }
        }
    }
}

TEST(SensorsView, TextsOfBothLayouts) {
    SensorStore s;
    s.l8v = true;
    s.full[Sidelook] = {0x0153, 100, 98, 1};
    s.full[RearExit] = {0x0142, 100, 3, 0};
    s.currentTemperature = 27;
    s.temperatureAtVla = 4;
    s.barcodeEmitter1 = 52;
    const Rgb label{204, 204, 204}, value{0, 255, 0}, red{255, 0, 0};
    struct Case {
        const char* text;
        int x, y;
        Rgb colour;
    };
    const std::vector<Case> full = {
        {"Sidelook", 100, 239, label},    {"0153            100              098", 220, 239, value},
        {"open", 460, 239, label},        {"Rear exit", 100, 311, label},
        {"closed", 460, 257, red},  // Chan. Open: status 0
        {"Current: 27", 210, 339, value}, {"At vla : 04", 295, 339, value},
        {"Barcode ", 375, 339, label},    {"Emitter: 52", 455, 339, value},
        {"Gain (hex)", 210, 215, label},  {"Status", 455, 215, label},
    };
    const SensorsView v = sensorsView(s, true);
    for (const Case& c : full) {
        const PanelItem* i = v.drawing.findText(c.text);
        ASSERT_NE(i, nullptr) << c.text;
        EXPECT_EQ(i->x, c.x) << c.text;
        EXPECT_EQ(i->y, c.y) << c.text;
        EXPECT_EQ(i->colour, c.colour) << c.text;
    }
    EXPECT_EQ(v.rows[4].values, "0142            100              003");

    s.l8v = false;
    s.sidelookGain = 0x134;
    s.sidelookReading = 97;
    s.frontStatus = 1;  // the short layout reads non-zero as closed
    s.barcodeEmitter2 = 51;
    const std::vector<Case> shortLayout = {
        {"Gain:           134       reading:      097 ", 220, 239, value},
        {"Status:         closed", 220, 261, value},
        {"Status:         open", 220, 283, value},
        {"Emitter:        bcr1:  052         bcr2:  051", 220, 309, value},
        {"Current :      27           At Vla :   4", 220, 339, value},
        {"Parameters", 235, 215, label},
        {"Temperature", 100, 339, label},
    };
    const SensorsView w = sensorsView(s, true);
    for (const Case& c : shortLayout) {
        const PanelItem* i = w.drawing.findText(c.text);
        ASSERT_NE(i, nullptr) << c.text;
        EXPECT_EQ(i->x, c.x) << c.text;
        EXPECT_EQ(i->y, c.y) << c.text;
    }
    EXPECT_EQ(w.drawing.findText("Gain (hex)"), nullptr);

    // Without diagnostics only the note is drawn, whatever the store holds.
    const SensorsView none = sensorsView(s, false);
    ASSERT_EQ(none.drawing.items().size(), 1u);
    EXPECT_EQ(none.drawing.items()[0].text, "SENSORS DATA NOT AVAILABLE");
    EXPECT_EQ(none.drawing.items()[0].x, 100);
    EXPECT_EQ(none.drawing.items()[0].y, 239);
}

}  // namespace
}  // namespace halvek
