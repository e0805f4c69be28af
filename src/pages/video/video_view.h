#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pages/video/video_ranges.h"
#include "pages/video/video_store.h"

namespace halvek {

// One level of one judged channel and colour, with the range it must lie in.
struct JudgedLevel {
    bool reflective;
    int channel;
    int colour;  // 0 red, 1 green, 2 blue, 3 infrared
    int level;
    LevelRange range;
    bool inRange() const { return range.holds(level); }
};

// Every judged level of the store, transmissive channels first, in the ranges of the Video test page.
std::vector<JudgedLevel> judgedLevels(const VideoStore& video, bool l8v);

// Whether the white-paper levels lie in their ranges. Every judged channel
// counts once video levels are held, a dead one (all levels equal, often all
// zero) included, and whichever channel is drawn last; before that there is
// nothing to judge. (A chart that skipped a channel of four equal levels would
// pass a unit with a dead channel, and one whose verdict hung on the last
// channel drawn would say nothing of the others.)
struct VideoVerdict {
    bool judged = false;
    int transmissiveOut = 0;
    int reflectiveOut = 0;
};
VideoVerdict judgeVideo(const VideoStore& video, bool l8v);
// The labels under the two scales: "transmissive" and "reflective" until there
// is a verdict, then "transmissive: OK" or "transmissive:  out of range" and so on.
const char* transmissiveLabel(const VideoVerdict& verdict);
const char* reflectiveLabel(const VideoVerdict& verdict);

// Everything the Video test chart shows, at its pixel positions in the main
// window's client area. Colours are 0xRRGGBB on the black drawing area.
struct VideoView {
    struct Text {
        int x, y;  // top left
        std::string text;
        uint32_t colour;
    };
    struct Line {  // 1 pixel wide, both ends drawn
        int x1, y1, x2, y2;
        uint32_t colour;
    };
    struct Tick {  // a level: kTickWidth pixels wide, 2 rows high (y - 1 and y)
        int x, y;
        uint32_t colour;
    };
    static constexpr int kTickWidth = 10;
    static constexpr uint32_t kText = 0x009F9F, kGrid = 0x009F9F, kRangeMark = 0xCCCCCC, kNotAvailable = 0xFFFFFF;
    static constexpr uint32_t kColours[4] = {0xFF0000, 0x00FF00, 0x0077FF, 0xFFFF00};

    std::vector<Text> texts;
    std::vector<Line> lines;  // the channel boxes, then the range marks
    std::vector<Tick> ticks;  // drawn over the lines
    VideoVerdict verdict;
};

VideoView videoView(const VideoStore& video, bool l8v, bool diagnosticsAvailable);

// The y of a level on the chart (before clamping to the box), for a box's base.
constexpr int kTransmissiveBase = 440, kReflectiveBase = 720;
constexpr int levelY(int base, int level) { return base - 2 * level; }

}  // namespace halvek
