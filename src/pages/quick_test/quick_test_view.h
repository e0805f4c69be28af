#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pages/optics/optics_store.h"
#include "pages/video/video_store.h"

namespace halvek {

// Everything the Quick test table shows, at its pixel positions in the main
// window's client area, evaluated afresh from the stores each time it is drawn.
// Colours are 0xRRGGBB on the black drawing area.
struct QuickTestView {
    struct Text {
        int x, y;  // top left
        std::string text;
        uint32_t colour;
    };
    struct Line {  // 1 pixel wide, both ends drawn
        int x1, y1, x2, y2;
        uint32_t colour;
    };
    static constexpr uint32_t kLabel = 0xCCCCCC, kGood = 0x00FF00, kOutOfRange = 0xFFFF00, kFailed = 0xFF7733,
                              kGrid = 0x009F9F;
    // The three lines of the table, top to bottom.
    static constexpr int kDetectorsY = 256, kEmittersY = 286, kVideoY = 316;
    static constexpr int kLabelX = 160, kVerdictX = 270, kResultX = 535;

    uint8_t result = 0;  // the quicktest::k...Failed bits
    bool opticsKnown = false, videoKnown = false;
    std::vector<Text> texts;
    std::vector<Line> lines;
};

QuickTestView quickTestView(const OpticsStore& optics, const VideoStore& video, bool l8v);

}  // namespace halvek
