#include <gtest/gtest.h>

#include <string>

#include "pages/quick_test/quick_test_result.h"
#include "pages/quick_test/quick_test_view.h"
#include "pages/quick_test/vla_paper_prompt.h"

namespace halvek {
namespace {

using namespace quicktest;

// Optics and video data of a unit in good order, for either variant.
struct Unit {
    explicit Unit(bool variantL8v) : l8v(variantL8v) {
        for (size_t ch = 0; ch < 7; ++ch)
            for (size_t col = 0; col < 4; ++col) {
                optics.transGain[ch][col] = optics.reflGain[ch][col] = 0x180;
                optics.transEmitter[ch][col] = optics.reflEmitter[ch][col] = 120;
                video.trans[ch][col][0] = static_cast<uint8_t>(quickTestRanges(l8v).transmissive[col].centre);
                video.refl[ch][col][0] = static_cast<uint8_t>(quickTestRanges(l8v).reflective[col].centre);
            }
        optics.received = video.received = true;
    }
    uint8_t result() const { return quickTestResult(optics, video, l8v); }
    bool l8v;
    OpticsStore optics;
    VideoStore video;
};

TEST(QuickTestResult, EachLineFailsOnItsOwnFault) {
    struct Case {
        const char* what;
        bool l8v;
        void (*spoil)(Unit&);
        uint8_t result;
    };
    const Case cases[] = {
        {"healthy L8V", true, [](Unit&) {}, 0},
        {"healthy L8", false, [](Unit&) {}, 0},
        {"gain 0x3FF", true, [](Unit& u) { u.optics.transGain[4][2] = 0x3FF; }, kDetectorsFailed},
        {"gain 0x3FE", true, [](Unit& u) { u.optics.transGain[4][2] = 0x3FE; }, 0},
        {"gain 0", false, [](Unit& u) { u.optics.reflGain[4][0] = 0; }, kDetectorsFailed},
        {"L8V reflective ch3 not fitted", true, [](Unit& u) { u.optics.reflGain[3][0] = 0; }, 0},
        {"transmissive ch5 not judged", false, [](Unit& u) { u.optics.transEmitter[5][1] = 0; }, 0},
        {"emitter 0", true, [](Unit& u) { u.optics.reflEmitter[2][3] = 0; }, kEmittersFailed},
        {"L8 reflective infrared 184", false, [](Unit& u) { u.video.refl[2][3][0] = 184; }, 0},
        {"L8 reflective infrared 183", false, [](Unit& u) { u.video.refl[2][3][0] = 183; }, kVideoFailed},
        {"L8V reflective ch4 zero", true, [](Unit& u) { u.video.refl[4][1][0] = 0; }, 0},
        {"L8 reflective ch4 zero", false, [](Unit& u) { u.video.refl[4][1][0] = 0; }, kVideoFailed},
        {"transmissive blue 40", true, [](Unit& u) { u.video.trans[0][2][0] = 40; }, kVideoFailed},
        {"no optics data", true,
         [](Unit& u) {
             u.optics.transGain[0][0] = 0;
             u.optics.received = false;
         },
         0},
        {"no video data", true,
         [](Unit& u) {
             u.video.trans[0][0][0] = 0;
             u.video.received = false;
         },
         0},
    };
    for (const Case& c : cases) {
        Unit u(c.l8v);
        c.spoil(u);
        EXPECT_EQ(u.result(), c.result) << c.what;
    }
}

// The text drawn at a position, or "" when there is none.
std::string textAt(const QuickTestView& v, int x, int y) {
    for (const auto& t : v.texts)
        if (t.x == x && t.y == y) return t.text;
    return "";
}
uint32_t colourAt(const QuickTestView& v, int x, int y) {
    for (const auto& t : v.texts)
        if (t.x == x && t.y == y) return t.colour;
    return 0;
}

TEST(QuickTestView, IncompleteBeforeAnyReplyThenTheVerdicts) {
    using V = QuickTestView;
    V v = quickTestView(OpticsStore{}, VideoStore{}, true);
    EXPECT_EQ(textAt(v, V::kLabelX, V::kDetectorsY), "> DETECTORS                                  ");
    EXPECT_EQ(textAt(v, V::kLabelX, V::kVideoY), "> VIDEO            ( to complete please insert VLA paper)");
    for (int y : {V::kDetectorsY, V::kEmittersY, V::kVideoY}) {
        EXPECT_EQ(textAt(v, V::kResultX, y), "incomplete");
        EXPECT_EQ(textAt(v, V::kVerdictX, y), "");
    }
    EXPECT_EQ(textAt(v, 160, 211), "Click on <Run Test> button to check validator's settings");

    Unit u(true);
    u.optics.transGain[0][0] = 0x3FF;
    v = quickTestView(u.optics, u.video, true);
    EXPECT_EQ(textAt(v, V::kLabelX, V::kDetectorsY), "> DETECTORS");
    EXPECT_EQ(textAt(v, V::kVerdictX, V::kDetectorsY), "OUT OF RANGE - calibration required");
    EXPECT_EQ(colourAt(v, V::kVerdictX, V::kDetectorsY), 0xFFFF00u);
    EXPECT_EQ(textAt(v, V::kResultX, V::kDetectorsY), "  FAILED");
    EXPECT_EQ(colourAt(v, V::kResultX, V::kDetectorsY), 0xFF7733u);
    EXPECT_EQ(textAt(v, V::kVerdictX, V::kEmittersY), "within required range");
    EXPECT_EQ(textAt(v, V::kResultX, V::kEmittersY), "  OK  ");
    EXPECT_EQ(colourAt(v, V::kResultX, V::kEmittersY), 0x00FF00u);
    EXPECT_EQ(textAt(v, V::kLabelX, V::kVideoY), "> VIDEO                             ");
    EXPECT_EQ(textAt(v, V::kVerdictX, V::kVideoY), "within required range   ");

    u.video.trans[1][1][0] = 200;
    v = quickTestView(u.optics, u.video, true);
    EXPECT_EQ(textAt(v, V::kVerdictX, V::kVideoY), "OUT OF RANGE - calibration required  ");
    EXPECT_EQ(textAt(v, V::kResultX, V::kVideoY), "  FAILED");
}

TEST(VlaPaperPrompt, OnceForEachOpticsReplyThatCameWithoutVideo) {
    Unit u(true);
    u.video.received = false;
    VlaPaperPrompt prompt(3);
    EXPECT_FALSE(prompt.shouldAsk(u.optics, u.video, 3));  // the page opened on older data
    EXPECT_TRUE(prompt.shouldAsk(u.optics, u.video, 4));
    EXPECT_FALSE(prompt.shouldAsk(u.optics, u.video, 4));  // a repaint asks nothing more
    u.video.received = true;
    EXPECT_FALSE(prompt.shouldAsk(u.optics, u.video, 5));
}

}  // namespace
}  // namespace halvek
