#pragma once

#include <array>
#include <string>

#include "pages/common/panel_drawing.h"
#include "pages/sensors/sensors_store.h"

namespace halvek {

// What the Sensors page shows: the sensors in the layout of the last reply
// (five sensor rows of the L8V variant, or the L8's short table), the
// temperatures and the barcode emitters; or only that there are no data when
// the unit's firmware has no diagnostics.
struct SensorsView {
    struct Row {
        std::string label;
        std::string values;
        std::string status;  // the full layout's status word; "" in the short layout
        bool open = false;
        int y = 0;
    };
    bool available = true;
    bool full = false;          // the L8V layout
    std::array<Row, 5> rows{};  // full: Sidelook .. Rear exit; short: Sidelook, Front, Rear, Barcode, Temperature
    int rowCount = 0;
    // The full layout's temperature row.
    std::string current, atVla, emitter;
    PanelDrawing drawing;
};

SensorsView sensorsView(const SensorStore& store, bool diagnosticsAvailable);

namespace sensors_text {
inline constexpr const char* kNotAvailable = "SENSORS DATA NOT AVAILABLE";
inline constexpr const char* kOpen = "open";
inline constexpr const char* kClosed = "closed";
}  // namespace sensors_text

}  // namespace halvek
