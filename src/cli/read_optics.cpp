#include "cli/read_targets.h"
#include "link/lower_page_actions.h"
#include "pages/common/panel_text.h"
#include "pages/optics/optics_view.h"

namespace halvek::cli {
namespace {

// The optics table's left edge: the column its texts are counted from.
constexpr int kLeftEdge = 45;

// The JSON names of the page's rows, in its order, and of its lights: the
// names the video levels use.
constexpr const char* kRowKeys[] = {"transmissiveWhite",  "transmissiveBlack", "transmissiveEmitters",
                                    "transmissiveGains",  "reflectiveWhite",   "reflectiveBlack",
                                    "reflectiveEmitters", "reflectiveGains"};
constexpr const char* kLightKeys[kOpticsColours] = {"red", "green", "blue", "infrared"};
static_assert(std::size(kRowKeys) == std::tuple_size_v<decltype(OpticsView::rows)>);

}  // namespace

const char* opticsUnreadable(const LinkController& link) {
    return link.extendedMode() ? nullptr : page_text::kOnlyExtended;
}

void printOptics(const LinkController& link, std::ostream& out, bool json) {
    const OpticsStore& o = link.stores().optics;
    const bool l8v = link.stores().sensors.l8v;
    if (!json) {
        out << "variant: " << (l8v ? "L8V" : "L8") << "\n";
        for (int colour = 0; colour < kOpticsColours; ++colour)
            out << (colour ? "\n" : "") << "light: " << optics_text::kColourNames[static_cast<size_t>(colour)] << "\n"
                << panelText(opticsView(o, l8v, colour).drawing, kLeftEdge);
        return;
    }
    out << "{\"variant\":" << (l8v ? "\"L8V\"" : "\"L8\"") << ",\"lights\":{";
    for (int colour = 0; colour < kOpticsColours; ++colour) {
        const OpticsView v = opticsView(o, l8v, colour);
        out << (colour ? "," : "") << jsonString(kLightKeys[colour]) << ":{";
        for (size_t r = 0; r < v.rows.size(); ++r) {
            out << (r ? "," : "") << jsonString(kRowKeys[r]) << ":[";
            for (size_t i = 0; i < v.rows[r].values.size(); ++i) out << (i ? "," : "") << v.rows[r].values[i].number;
            out << "]";
        }
        out << "}";
    }
    out << "}}\n";
}

}  // namespace halvek::cli
