#pragma once

#include <array>
#include <string>
#include <vector>

#include "pages/common/panel_drawing.h"
#include "pages/optics/optics_store.h"

namespace halvek {

// The four lights the optics are calibrated for, in selector order.
enum OpticsColour { LightRed = 0, LightGreen, LightBlue, LightInfrared, kOpticsColours };

// Optical channels fitted: the L8V has five transmissive and three reflective, the L8 seven of each.
int transmissiveChannels(bool l8v);
int reflectiveChannels(bool l8v);

// What the Main optics page shows: for the selected light, each fitted
// channel's white and black levels, emitter and gain, transmissive and
// reflective, in the page's column order (ch5 ch3 ch1 ch0 ch2 ch4 ch6).
struct OpticsView {
    struct Value {
        int channel = 0;
        int x = 0;
        unsigned number = 0;
        std::string text;
    };
    struct Row {
        std::string label;
        int y = 0;
        std::vector<Value> values;  // by channel number
    };
    int colour = LightRed;
    Rgb valueColour;
    std::vector<int> headingChannels;  // the transmissive channels, each headed "ch N"
    std::array<Row, 8> rows{};
    PanelDrawing drawing;
};

// The x of a channel's column.
int opticsColumnX(int channel);

OpticsView opticsView(const OpticsStore& store, bool l8v, int colour);
inline OpticsView opticsView(const OpticsStore& store, bool l8v) { return opticsView(store, l8v, store.colour); }

namespace optics_text {
inline constexpr const char* kHeading = "Optics Settings";
// The selectors' captions, by colour.
inline constexpr std::array<const char*, kOpticsColours> kColourNames = {"red", "green", "blue", "i_red"};
}  // namespace optics_text

}  // namespace halvek
