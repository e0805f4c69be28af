#include "cli/read_targets.h"
#include "pages/common/panel_text.h"
#include "pages/sensors/sensors_view.h"

namespace halvek::cli {
namespace {

// The sensor table's left edge: the column its texts are counted from.
constexpr int kLeftEdge = 85;

void temperature(std::ostream& out, const SensorStore& s) {
    out << "\"temperature\":{\"current\":" << int{s.currentTemperature} << ",\"atVla\":" << int{s.temperatureAtVla}
        << "}";
}

}  // namespace

void printSensors(const LinkController& link, std::ostream& out, bool json) {
    const SensorStore& s = link.stores().sensors;
    const SensorsView view = sensorsView(s, link.diagnosticsAvailable());
    if (!json) {
        out << "variant: " << (s.l8v ? "L8V" : "L8") << "\n" << panelText(view.drawing, kLeftEdge);
        return;
    }
    out << "{\"variant\":" << (s.l8v ? "\"L8V\"" : "\"L8\"") << ",";
    if (s.l8v) {
        out << "\"sensors\":[";
        for (int i = 0; i < view.rowCount; ++i) {
            const SensorsView::Row& row = view.rows[static_cast<size_t>(i)];
            const SensorReading& r = s.full[static_cast<size_t>(i)];
            out << (i ? "," : "") << "{\"name\":" << jsonString(row.label) << ",\"gain\":" << r.gain
                << ",\"target\":" << int{r.target} << ",\"reading\":" << int{r.reading}
                << ",\"status\":" << jsonString(row.status) << "}";
        }
        out << "],\"barcodeEmitter1\":" << int{s.barcodeEmitter1} << ",";
    } else {
        out << "\"sidelook\":{\"gain\":" << s.sidelookGain << ",\"reading\":" << int{s.sidelookReading}
            << "},\"front\":" << jsonString(s.frontStatus ? sensors_text::kClosed : sensors_text::kOpen)
            << ",\"rear\":" << jsonString(s.rearStatus ? sensors_text::kClosed : sensors_text::kOpen)
            << ",\"barcodeEmitter1\":" << int{s.barcodeEmitter1} << ",\"barcodeEmitter2\":" << int{s.barcodeEmitter2}
            << ",";
    }
    temperature(out, s);
    out << "}\n";
}

}  // namespace halvek::cli
