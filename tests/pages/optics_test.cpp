#include <gtest/gtest.h>

#include "link/controller_bench.h"
#include "link/lower_page_actions.h"
#include "pages/optics/optics_replies.h"
#include "pages/optics/optics_view.h"
#include "protocol/catalogue.h"
#include "reply_bytes.h"

namespace halvek {
namespace {

using test::ReplyBytes;

std::vector<uint8_t> opticsData() {
    std::vector<uint8_t> d(392, 0);
    for (size_t i = 0; i < 28; ++i) {
        d[i] = static_cast<uint8_t>(200 + i);       // reflective white
        d[28 + i] = static_cast<uint8_t>(100 + i);  // transmissive white
        d[56 + i] = static_cast<uint8_t>(i);        // reflective black
        d[84 + i] = static_cast<uint8_t>(50 + i);   // transmissive black
        d[280 + 2 * i] = 0xFF;                      // the emitters' first bytes are not theirs
        d[281 + 2 * i] = static_cast<uint8_t>(120 + i);
        d[336 + 2 * i] = 0xFF;
        d[337 + 2 * i] = static_cast<uint8_t>(150 + i);
    }
    d[112] = 0xEE;                 // the unused part
    d[168] = 0xAB, d[169] = 0xCD;  // transmissive gain of channel 0, red
    d[224] = 0xAB, d[225] = 0xCD;  // reflective gain likewise
    return d;
}

TEST(OpticsReply, StoresTheTablesAndRefusesWhatAShortFrameHolds) {
    struct Case {
        const char* what;
        bool extended, l8v;
        size_t bytes;
        bool stored;
        uint16_t transGain;
    };
    const Case cases[] = {
        {"L8V", true, true, 392, true, 0xABCD},
        {"L8: the gain's first byte's upper half", true, false, 392, true, 0x0ACD},
        {"a short frame's 251 bytes", false, true, 251, false, 0},
        {"a long frame one byte short", true, true, 391, false, 0},
    };
    for (const Case& c : cases) {
        OpticsStore o;
        o.reflWhite[6][3] = 9;
        std::vector<uint8_t> d = opticsData();
        d.resize(c.bytes);
        EXPECT_EQ(storeOptics(o, c.l8v, ReplyBytes(c.extended, cmd::ReadDiagn1, d).reply()), c.stored) << c.what;
        EXPECT_EQ(o.received, c.stored) << c.what;
        EXPECT_EQ(o.transGain[0][0], c.transGain) << c.what;
        EXPECT_EQ(o.reflGain[0][0], c.stored ? 0xABCD : 0) << c.what;
        EXPECT_EQ(o.reflWhite[6][3], c.stored ? 227 : 9) << c.what;
        if (!c.stored) continue;
        EXPECT_EQ(o.transWhite[1][2], 106) << c.what << ": channel-major";
        EXPECT_EQ(o.transBlack[0][1], 51) << c.what;
        EXPECT_EQ(o.reflBlack[2][0], 8) << c.what;
        EXPECT_EQ(o.transEmitter[0][0], 120) << c.what;
        EXPECT_EQ(o.reflEmitter[6][3], 177) << c.what;
    }
}

TEST(OpticsView, ChannelsByVariantInTheLightChosen) {
    OpticsStore o;
    for (int ch = 0; ch < 7; ++ch) {
        o.transWhite[static_cast<size_t>(ch)][2] = static_cast<uint8_t>(10 + ch);
        o.reflGain[static_cast<size_t>(ch)][2] = static_cast<uint16_t>(0x1A0 + ch);
    }
    struct Case {
        bool l8v;
        size_t trans, refl;
    };
    for (const Case& c : {Case{true, 5, 3}, Case{false, 7, 7}}) {
        const OpticsView v = opticsView(o, c.l8v, LightBlue);
        EXPECT_EQ(v.valueColour, (Rgb{0, 119, 255}));
        EXPECT_EQ(v.headingChannels.size(), c.trans);
        EXPECT_EQ(v.rows[0].label, "Transm. white levels");
        EXPECT_EQ(v.rows[0].y, 226);
        ASSERT_EQ(v.rows[0].values.size(), c.trans);
        ASSERT_EQ(v.rows[7].values.size(), c.refl);
        EXPECT_EQ(v.rows[0].values[3].text, "013");
        EXPECT_EQ(v.rows[0].values[3].x, 270);
        EXPECT_EQ(v.rows[7].label, "Refl. gains (hex)");
        EXPECT_EQ(v.rows[7].values[2].text, "1A2");
        EXPECT_EQ(v.rows[7].values[2].x, 435);
        const PanelItem* heading = v.drawing.findText("ch 3");
        ASSERT_NE(heading, nullptr);
        EXPECT_EQ(heading->x, 264);
        EXPECT_EQ(heading->y, 206);
        EXPECT_EQ(v.drawing.findText("ch 6") != nullptr, !c.l8v);
    }
    EXPECT_EQ(opticsView(o, true, LightInfrared).valueColour, (Rgb{255, 255, 0}));
}

TEST(OpticsActions, ReadDataOnlyConnectedInLongFrames) {
    struct Case {
        bool connected, extended;
        const char* said;
    };
    for (const Case& c : {Case{false, true, "No connection"}, Case{true, false, "Available only in Q7E mode"},
                          Case{true, true, nullptr}}) {
        test::ControllerBench b(c.extended);
        if (c.connected) b.controller.startTimer();
        EXPECT_EQ(readOptics(b.controller), c.said == nullptr);
        EXPECT_EQ(b.controller.requestState(cmd::ReadDiagn1), c.said ? RequestState::Idle : RequestState::Requested);
        if (c.said) {
            ASSERT_EQ(b.ui.messages.size(), 1u);
            EXPECT_EQ(b.ui.messages[0].text, c.said);
            EXPECT_EQ(b.ui.messages[0].title, "Info");
        }
    }
    test::ControllerBench b;
    selectOpticsColour(b.controller, LightGreen);
    EXPECT_EQ(b.stores.optics.colour, LightGreen);
    selectOpticsColour(b.controller, 7);
    EXPECT_EQ(b.stores.optics.colour, LightGreen);
}

}  // namespace
}  // namespace halvek
