#include "pages/optics/optics_view.h"

#include <cstdio>

namespace halvek {
namespace {

constexpr Rgb kLabel{204, 204, 204};
constexpr Rgb kRule{204, 204, 204};
constexpr std::array<Rgb, kOpticsColours> kLight = {Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 119, 255}, Rgb{255, 255, 0}};
// Channel 0 sits in the middle, the others alternate outwards.
constexpr int kColumnX[] = {380, 325, 435, 270, 490, 215, 545};
constexpr int kMaxChannels = 7;

constexpr int kLabelX = 55, kHeadingY = 206, kHeadingShift = 6;
constexpr int kLeft = 45, kRight = 585, kTop = 204, kBottom = 361;

struct RowLayout {
    int y;
    const char* label;
    bool transmissive;
    bool hex;
    const ChannelTable<uint8_t> OpticsStore::*bytes;
    const ChannelTable<uint16_t> OpticsStore::*gains;
};
constexpr RowLayout kRows[] = {
    {226, "Transm. white levels", true, false, &OpticsStore::transWhite, nullptr},
    {241, "Transm. black levels", true, false, &OpticsStore::transBlack, nullptr},
    {256, "Transm. emitters", true, false, &OpticsStore::transEmitter, nullptr},
    {271, "Transm. gains (hex)", true, true, nullptr, &OpticsStore::transGain},
    {296, "Refl. white levels", false, false, &OpticsStore::reflWhite, nullptr},
    {311, "Refl. black levels", false, false, &OpticsStore::reflBlack, nullptr},
    {326, "Refl. emitters", false, false, &OpticsStore::reflEmitter, nullptr},
    {341, "Refl. gains (hex)", false, true, nullptr, &OpticsStore::reflGain},
};

std::string number(unsigned v, bool hex) {
    char buf[16];
    std::snprintf(buf, sizeof buf, hex ? "%03X" : "%03u", v);
    return buf;
}

}  // namespace

int transmissiveChannels(bool l8v) { return l8v ? 5 : kMaxChannels; }
int reflectiveChannels(bool l8v) { return l8v ? 3 : kMaxChannels; }
int opticsColumnX(int channel) { return kColumnX[channel]; }

OpticsView opticsView(const OpticsStore& s, bool l8v, int colour) {
    OpticsView v;
    v.colour = colour >= 0 && colour < kOpticsColours ? colour : LightRed;
    v.valueColour = kLight[static_cast<size_t>(v.colour)];
    const auto col = static_cast<size_t>(v.colour);
    PanelDrawing& d = v.drawing;
    d.text(kLabelX, kHeadingY, optics_text::kHeading, kLabel);
    for (int ch = 0; ch < transmissiveChannels(l8v); ++ch) {
        v.headingChannels.push_back(ch);
        d.text(opticsColumnX(ch) - kHeadingShift, kHeadingY, "ch " + std::to_string(ch), kLabel);
    }
    for (size_t i = 0; i < std::size(kRows); ++i) {
        const RowLayout& layout = kRows[i];
        OpticsView::Row& row = v.rows[i];
        row.label = layout.label;
        row.y = layout.y;
        d.text(kLabelX, row.y, row.label, kLabel);
        const int channels = layout.transmissive ? transmissiveChannels(l8v) : reflectiveChannels(l8v);
        for (int ch = 0; ch < channels; ++ch) {
            const auto c = static_cast<size_t>(ch);
            const unsigned value = layout.bytes ? (s.*layout.bytes)[c][col] : (s.*layout.gains)[c][col];
            row.values.push_back({ch, opticsColumnX(ch), value, number(value, layout.hex)});
            d.text(opticsColumnX(ch), row.y, row.values.back().text, v.valueColour);
        }
    }
    d.line(kLeft, kTop, kLeft, kBottom, kRule);
    for (int i = 0; i <= kMaxChannels; ++i) d.line(200 + 55 * i, kTop, 200 + 55 * i, kBottom, kRule);
    for (int y : {kTop, 222, 289, kBottom}) d.line(kLeft, y, kRight, y, kRule);
    return v;
}

}  // namespace halvek
