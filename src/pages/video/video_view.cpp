#include "pages/video/video_view.h"

#include <cstdio>

namespace halvek {
namespace {

constexpr const char* kNotAvailable = "VIDEO TEST NOT AVAILABLE";
constexpr const char* kTransmissive = "transmissive";
constexpr const char* kReflective = "reflective";
constexpr const char* kTransmissiveOk = "transmissive: OK";
constexpr const char* kTransmissiveOut = "transmissive:  out of range";
constexpr const char* kReflectiveOk = "reflective: OK";
constexpr const char* kReflectiveOut = "reflective:  out of range";
constexpr const char* kTransmissiveScale[] = {"110", "100", " 90", " 80", " 70", " 60", " 50"};
constexpr const char* kReflectiveScale[] = {"250", "240", "230", "220", "210", "200", "190"};

// Where each channel's box stands, by channel number: the middle channel in the middle.
constexpr int kTransmissiveBox[] = {150, 98, 202, 46, 254};
constexpr int kReflectiveBox[] = {430, 378, 482, 326, 534};
constexpr int kBoxTop = 220, kBoxBottom = 340, kBoxWidth = 49, kColumn = 12;
constexpr int kLabelY = 354, kTransmissiveLabelX = 48, kReflectiveLabelX = 328;

// A level beyond the box is drawn just outside it, so that it is seen to be off the scale.
int clamped(int y) {
    if (y < kBoxTop) return kBoxTop - 3;
    if (y > kBoxBottom) return kBoxBottom + 3;
    return y;
}

void addBox(VideoView& v, int x, int channel) {
    for (int y = kBoxTop; y <= kBoxBottom; y += 20) v.lines.push_back({x, y, x + kBoxWidth - 1, y, VideoView::kGrid});
    for (int col = 0; col <= 4; ++col)
        v.lines.push_back({x + kColumn * col, kBoxTop, x + kColumn * col, kBoxBottom - 1, VideoView::kGrid});
    char caption[16];
    std::snprintf(caption, sizeof caption, "ch %d", channel);
    v.texts.push_back({x + 10, 200, caption, VideoView::kText});
}

}  // namespace

std::vector<JudgedLevel> judgedLevels(const VideoStore& video, bool l8v) {
    const VideoRanges& ranges = videoTestRanges(l8v);
    std::vector<JudgedLevel> out;
    // A channel (0-6) and a colour (0-3) are kept as plain numbers for the painter's arithmetic.
    const auto judged = [&](bool reflective, size_t ch, size_t col, int level, LevelRange range) {
        out.push_back({reflective, static_cast<int>(ch), static_cast<int>(col), level, range});
    };
    for (size_t ch = 0; ch < kJudgedTransmissiveChannels; ++ch)
        for (size_t col = 0; col < 4; ++col)
            judged(false, ch, col, video.transLevel(ch, col), ranges.transmissive[col]);
    for (size_t ch = 0; ch < judgedReflectiveChannels(l8v); ++ch)
        for (size_t col = 0; col < 4; ++col) judged(true, ch, col, video.reflLevel(ch, col), ranges.reflective[col]);
    return out;
}

VideoVerdict judgeVideo(const VideoStore& video, bool l8v) {
    VideoVerdict v;
    // The verdict follows the levels on the chart, whatever the Quick test has cleared.
    v.judged = video.levelsHeld;
    for (const JudgedLevel& l : judgedLevels(video, l8v))
        if (!l.inRange()) ++(l.reflective ? v.reflectiveOut : v.transmissiveOut);
    return v;
}

const char* transmissiveLabel(const VideoVerdict& d) {
    return !d.judged ? kTransmissive : d.transmissiveOut ? kTransmissiveOut : kTransmissiveOk;
}

const char* reflectiveLabel(const VideoVerdict& d) {
    return !d.judged ? kReflective : d.reflectiveOut ? kReflectiveOut : kReflectiveOk;
}

VideoView videoView(const VideoStore& video, bool l8v, bool diagnosticsAvailable) {
    VideoView v;
    if (!diagnosticsAvailable) {
        v.texts.push_back({100, 240, kNotAvailable, VideoView::kNotAvailable});
        return v;
    }
    for (int ch = 0; ch < 5; ++ch) addBox(v, kTransmissiveBox[ch], ch);
    for (int ch = 0; ch < 5; ++ch) addBox(v, kReflectiveBox[ch], ch);
    for (int i = 0; i < 7; ++i) {
        v.texts.push_back({18, 213 + 20 * i, kTransmissiveScale[i], VideoView::kText});
        v.texts.push_back({587, 213 + 20 * i, kReflectiveScale[i], VideoView::kText});
    }
    v.verdict = judgeVideo(video, l8v);
    v.texts.push_back({kTransmissiveLabelX, kLabelY, transmissiveLabel(v.verdict), VideoView::kText});
    v.texts.push_back({kReflectiveLabelX, kLabelY, reflectiveLabel(v.verdict), VideoView::kText});
    for (const JudgedLevel& l : judgedLevels(video, l8v)) {
        const int x = (l.reflective ? kReflectiveBox : kTransmissiveBox)[l.channel] + 1 + kColumn * l.colour;
        const int base = l.reflective ? kReflectiveBase : kTransmissiveBase;
        v.ticks.push_back({x, clamped(levelY(base, l.level)), VideoView::kColours[l.colour]});
        // The L8V chart also shows where each range ends, where that is on the scale
        // (the reflective ranges reach beyond it on both sides).
        if (l8v) {
            for (const int y : {levelY(base, l.range.high()), levelY(base, l.range.low()) + 1})
                if (y >= kBoxTop && y <= kBoxBottom)
                    v.lines.push_back({x, y, x + VideoView::kTickWidth - 1, y, VideoView::kRangeMark});
        }
    }
    return v;
}

}  // namespace halvek
