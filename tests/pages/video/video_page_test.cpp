#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pages/video/video_replies.h"
#include "pages/video/video_view.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

// Every judged level of one optics set to v.
void fill(VideoStore& s, bool reflective, int v) {
    for (auto& ch : reflective ? s.refl : s.trans)
        for (auto& col : ch) col[0] = static_cast<uint8_t>(v);
}

// A store whose levels all sit in the middle of the L8V ranges.
VideoStore healthyL8v() {
    VideoStore s;
    fill(s, false, 80);
    fill(s, true, 220);
    s.levelsHeld = true;
    return s;
}

TEST(VideoVerdict, TheLimitsOfEachRange) {
    struct Case {
        bool l8v, reflective;
        size_t colour;
        int level;
        bool inRange;
    };
    const Case cases[] = {
        {true, false, 0, 64, true},   {true, false, 0, 96, true},   {true, false, 3, 63, false},
        {true, false, 3, 97, false},  {true, true, 1, 176, true},   {true, true, 1, 255, true},
        {true, true, 2, 175, false},  {false, false, 2, 59, true},  {false, false, 2, 87, true},
        {false, false, 2, 58, false}, {false, false, 2, 88, false}, {false, true, 3, 186, true},
        {false, true, 3, 185, false}, {false, true, 1, 170, true},  {false, true, 1, 169, false},
    };
    for (const Case& c : cases) {
        VideoStore s;
        // Every other level in the middle of its range, one at the level of the case.
        const VideoRanges& r = videoTestRanges(c.l8v);
        for (size_t ch = 0; ch < 7; ++ch)
            for (size_t col = 0; col < 4; ++col) {
                s.trans[ch][col][0] = static_cast<uint8_t>(r.transmissive[col].centre);
                s.refl[ch][col][0] = static_cast<uint8_t>(r.reflective[col].centre);
            }
        (c.reflective ? s.refl : s.trans)[1][c.colour][0] = static_cast<uint8_t>(c.level);
        s.levelsHeld = true;
        const VideoVerdict v = judgeVideo(s, c.l8v);
        const int out = c.reflective ? v.reflectiveOut : v.transmissiveOut;
        EXPECT_EQ(out, c.inRange ? 0 : 1) << c.l8v << c.reflective << c.colour << " " << c.level;
        EXPECT_EQ(c.reflective ? v.transmissiveOut : v.reflectiveOut, 0);
    }
}

TEST(VideoVerdict, EveryChannelIsJudgedOnceDataHaveCome) {
    // Nothing yet: no verdict, the plain labels.
    VideoStore none;
    EXPECT_FALSE(judgeVideo(none, true).judged);
    EXPECT_STREQ(transmissiveLabel(judgeVideo(none, true)), "transmissive");
    EXPECT_STREQ(reflectiveLabel(judgeVideo(none, true)), "reflective");

    // A dead transmissive channel (all zero) fails even when the channels drawn after it are fine.
    VideoStore dead = healthyL8v();
    for (auto& col : dead.trans[0]) col[0] = 0;
    VideoVerdict v = judgeVideo(dead, true);
    EXPECT_TRUE(v.judged);
    EXPECT_EQ(v.transmissiveOut, 4);
    EXPECT_STREQ(transmissiveLabel(v), "transmissive:  out of range");
    EXPECT_STREQ(reflectiveLabel(v), "reflective: OK");

    // A last channel whose levels are all equal and in range still leaves a verdict.
    VideoStore flat = healthyL8v();
    for (auto& col : flat.refl[2]) col[0] = 200;
    v = judgeVideo(flat, true);
    EXPECT_STREQ(transmissiveLabel(v), "transmissive: OK");
    EXPECT_STREQ(reflectiveLabel(v), "reflective: OK");

    // The L8V has no reflective channels 3 and 4; the L8 judges them.
    VideoStore l8 = healthyL8v();
    for (auto& col : l8.refl[4]) col[0] = 0;
    EXPECT_EQ(judgeVideo(l8, true).reflectiveOut, 0);
    EXPECT_GT(judgeVideo(l8, false).reflectiveOut, 0);
}

// A reply frame written out byte by byte (the checksum is not read by the parse).
Bytes standardFrame(const Bytes& data) {
    Bytes f = {0x02, static_cast<uint8_t>(data.size() + 4), 0xE7};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0x00);
    return f;
}
Bytes extendedFrame(const Bytes& data) {
    const size_t n = data.size() + 7;
    Bytes f(n, 0x00);  // the checksum bytes stay 0
    const uint8_t head[] = {0x02, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), 0xE7};
    std::copy(std::begin(head), std::end(head), f.begin());
    std::copy(data.begin(), data.end(), f.begin() + 5);
    return f;
}

TEST(VideoReplies, MeansOverTheSamplesInBothLayouts) {
    // One sample: pairs (reflective, transmissive) per channel and colour, colour fastest.
    Bytes one(56, 0);
    one[0] = 211, one[1] = 77;    // ch0 red
    one[6] = 199, one[7] = 83;    // ch0 infrared
    one[8 * 3 + 2] = 180;         // ch3 green, reflective
    one[54] = 230, one[55] = 90;  // ch6 infrared
    Bytes frame = standardFrame(one);
    VideoStore s;
    storeVideo(s, false, Reply(frame.data(), frame.size(), false));
    EXPECT_TRUE(s.received);
    EXPECT_EQ(s.reflLevel(0, 0), 211);
    EXPECT_EQ(s.transLevel(0, 0), 77);
    EXPECT_EQ(s.reflLevel(0, 3), 199);
    EXPECT_EQ(s.transLevel(0, 3), 83);
    EXPECT_EQ(s.reflLevel(3, 1), 180);  // the L8 has reflective channel 3
    EXPECT_EQ(s.reflLevel(6, 3), 230);
    EXPECT_EQ(s.transLevel(6, 3), 90);

    // Five samples in the long layout: the truncated mean, and no reflective ch3/ch4 on the L8V.
    Bytes five;
    const int refl[5] = {200, 201, 203, 204, 204};  // mean 202.4
    const int trans[5] = {70, 72, 74, 76, 79};      // mean 74.2
    for (int k = 0; k < 5; ++k)
        for (int pair = 0; pair < 28; ++pair)
            five.insert(five.end(), {static_cast<uint8_t>(refl[k]), static_cast<uint8_t>(trans[k])});
    frame = extendedFrame(five);
    for (bool l8v : {true, false}) {
        VideoStore e;
        storeVideo(e, l8v, Reply(frame.data(), frame.size(), true));
        EXPECT_EQ(e.reflLevel(2, 2), 202);
        EXPECT_EQ(e.transLevel(4, 0), 74);
        EXPECT_EQ(e.transLevel(3, 1), 74);
        EXPECT_EQ(e.reflLevel(3, 0), l8v ? 0 : 202);
        EXPECT_EQ(e.reflLevel(4, 3), l8v ? 0 : 202);
        EXPECT_EQ(e.refl[2][2][4], 204);  // the samples stay behind the mean
    }
}

TEST(VideoReplies, AShortReplyIsAveragedOverTheBlocksItHolds) {
    // Two whole samples and a piece of a third: the missing bytes do not pull the means down.
    Bytes data;
    for (int k = 0; k < 2; ++k)
        for (int pair = 0; pair < 28; ++pair) data.insert(data.end(), {210, 80});
    data.insert(data.end(), 10, 0);
    Bytes frame = extendedFrame(data);
    VideoStore s;
    storeVideo(s, true, Reply(frame.data(), frame.size(), true));
    EXPECT_EQ(s.reflLevel(0, 0), 210);
    EXPECT_EQ(s.transLevel(6, 3), 80);

    // Less than one sample: nothing is stored and no data count as arrived.
    frame = extendedFrame(Bytes(30, 0));
    VideoStore empty = healthyL8v();
    empty.received = false;
    storeVideo(empty, true, Reply(frame.data(), frame.size(), true));
    EXPECT_FALSE(empty.received);
    EXPECT_EQ(empty.reflLevel(0, 0), 220);
}

const VideoView::Tick* tickAt(const VideoView& v, int x) {
    auto it = std::find_if(v.ticks.begin(), v.ticks.end(), [x](const VideoView::Tick& t) { return t.x == x; });
    return it == v.ticks.end() ? nullptr : &*it;
}

TEST(VideoView, ChartPositions) {
    VideoStore s = healthyL8v();
    s.trans[0][0][0] = 90;   // y 440 - 180 = 260 in the ch0 box at x 150
    s.trans[1][2][0] = 120;  // above the scale: drawn at 217
    s.refl[2][3][0] = 150;   // below the scale: drawn at 343
    VideoView v = videoView(s, true, true);
    ASSERT_NE(tickAt(v, 151), nullptr);
    EXPECT_EQ(tickAt(v, 151)->y, 260);
    EXPECT_EQ(tickAt(v, 151)->colour, 0xFF0000u);
    EXPECT_EQ(tickAt(v, 98 + 25)->y, 217);
    EXPECT_EQ(tickAt(v, 482 + 37)->y, 343);
    EXPECT_EQ(tickAt(v, 482 + 37)->colour, 0xFFFF00u);
    EXPECT_EQ(v.ticks.size(), 32u);  // 5 transmissive and 3 reflective channels on the L8V
    // L8V range marks: transmissive 64-96 at y 248 and 313.
    auto mark = [&](int x, int y) {
        return std::any_of(v.lines.begin(), v.lines.end(), [&](const VideoView::Line& l) {
            return l.colour == VideoView::kRangeMark && l.x1 == x && l.y1 == y && l.x2 == x + 9;
        });
    };
    EXPECT_TRUE(mark(151, 248));
    EXPECT_TRUE(mark(151, 313));
    // The reflective range 176-264 reaches beyond the scale 190-250 on both sides: no marks.
    EXPECT_EQ(std::count_if(v.lines.begin(), v.lines.end(),
                            [](const VideoView::Line& l) { return l.colour == VideoView::kRangeMark; }),
              5 * 4 * 2);

    // The L8 has no range marks and shows reflective ch3 and ch4 too.
    v = videoView(s, false, true);
    EXPECT_EQ(v.ticks.size(), 40u);
    EXPECT_FALSE(mark(151, 248));

    // Without diagnostics only the one line.
    v = videoView(s, true, false);
    ASSERT_EQ(v.texts.size(), 1u);
    EXPECT_EQ(v.texts[0].text, "VIDEO TEST NOT AVAILABLE");
    EXPECT_EQ(v.texts[0].x, 100);
    EXPECT_EQ(v.texts[0].y, 240);
    EXPECT_TRUE(v.ticks.empty());
}

TEST(VideoView, AnEmptyStoreDrawsEveryTickBelowTheBoxesAndNoVerdict) {
    const VideoView v = videoView(VideoStore{}, true, true);
    for (const VideoView::Tick& t : v.ticks) EXPECT_EQ(t.y, 343);
    auto text = [&](int x, int y) {
        for (const auto& t : v.texts)
            if (t.x == x && t.y == y) return t.text;
        return std::string();
    };
    EXPECT_EQ(text(48, 354), "transmissive");
    EXPECT_EQ(text(328, 354), "reflective");
    EXPECT_EQ(text(160, 200), "ch 0");
    EXPECT_EQ(text(18, 273), " 80");
    EXPECT_EQ(text(587, 333), "190");
}

}  // namespace
}  // namespace halvek
