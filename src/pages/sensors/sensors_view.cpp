#include "pages/sensors/sensors_view.h"

#include <cstdarg>
#include <cstdio>

namespace halvek {
namespace {

using namespace sensors_text;

constexpr Rgb kLabel{204, 204, 204};
constexpr Rgb kValue{0, 255, 0};
constexpr Rgb kClosedColour{255, 0, 0};
constexpr Rgb kRule{204, 204, 204};

constexpr int kLabelX = 100, kValuesX = 220, kStatusX = 460;
constexpr int kFirstRowY = 239, kRowStep = 18, kTemperatureY = 339;
constexpr int kHeadingY = 215;
constexpr int kLeft = 85, kRight = 540, kTop = 212, kBottom = 359, kHeadingRule = 234, kTableEnd = 334;

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
    char buf[128];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buf, sizeof buf, pattern, args);
    va_end(args);
    return buf;
}

struct FullRow {
    SensorRow row;
    const char* label;
};
constexpr FullRow kFullRows[] = {
    {Sidelook, "Sidelook"},    {ChanOpen, "Chan. Open"}, {FrontRight, "Front right"},
    {FrontLeft, "Front left"}, {RearExit, "Rear exit"},
};

void fullLayout(SensorsView& v, const SensorStore& s) {
    PanelDrawing& d = v.drawing;
    for (const FullRow& f : kFullRows) {
        const SensorReading& r = s.full[f.row];
        SensorsView::Row& row = v.rows[static_cast<size_t>(v.rowCount)];
        row.label = f.label;
        row.values = format("%04X            %03d              %03d", r.gain, r.target, r.reading);
        row.open = r.status != 0;
        row.status = row.open ? kOpen : kClosed;
        row.y = kFirstRowY + kRowStep * v.rowCount++;
        d.text(kLabelX, row.y, row.label, kLabel);
        d.text(kValuesX, row.y, row.values, kValue);
        d.text(kStatusX, row.y, row.status, row.open ? kLabel : kClosedColour);
    }
    v.current = format("Current: %02d", s.currentTemperature);
    v.atVla = format("At vla : %02d", s.temperatureAtVla);
    v.emitter = format("Emitter: %02d", s.barcodeEmitter1);
    d.text(kLabelX, kTemperatureY, "Temperature", kLabel);
    d.text(210, kTemperatureY, v.current, kValue);
    d.text(295, kTemperatureY, v.atVla, kValue);
    d.text(375, kTemperatureY, "Barcode ", kLabel);
    d.text(455, kTemperatureY, v.emitter, kValue);
}

// In the short layout a non-zero status means closed, the opposite of the full one.
const char* shortStatus(uint8_t status) { return status != 0 ? kClosed : kOpen; }

void shortLayout(SensorsView& v, const SensorStore& s) {
    const SensorsView::Row rows[] = {
        {"Sidelook", format("Gain:           %03X       reading:      %03d ", s.sidelookGain, s.sidelookReading), "",
         false, 239},
        {"Front", format("Status:         %s", shortStatus(s.frontStatus)), "", s.frontStatus == 0, 261},
        {"Rear", format("Status:         %s", shortStatus(s.rearStatus)), "", s.rearStatus == 0, 283},
        {"Barcode", format("Emitter:        bcr1:  %03d         bcr2:  %03d", s.barcodeEmitter1, s.barcodeEmitter2), "",
         false, 309},
        {"Temperature", format("Current :      %02d           At Vla :   %d", s.currentTemperature, s.temperatureAtVla),
         "", false, kTemperatureY},
    };
    for (const SensorsView::Row& r : rows) {
        v.rows[static_cast<size_t>(v.rowCount++)] = r;
        v.drawing.text(kLabelX, r.y, r.label, kLabel);
        v.drawing.text(kValuesX, r.y, r.values, kValue);
    }
}

void grid(PanelDrawing& d, bool full) {
    for (int x : {kLeft, 205, kRight}) d.line(x, kTop, x, kBottom, kRule);
    if (full) {
        for (int x : {285, 450}) d.line(x, kTop, x, kTableEnd, kRule);
        d.line(365, kTop, 365, kBottom, kRule);
    }
    for (int y : {kTop, kHeadingRule, kTableEnd, kBottom}) d.line(kLeft, y, kRight, y, kRule);
    d.text(kLabelX, kHeadingY, "Sensor", kLabel);
    if (full) {
        d.text(210, kHeadingY, "Gain (hex)", kLabel);
        d.text(295, kHeadingY, "Target", kLabel);
        d.text(375, kHeadingY, "Reading", kLabel);
        d.text(455, kHeadingY, "Status", kLabel);
    } else {
        d.text(235, kHeadingY, "Parameters", kLabel);
    }
}

}  // namespace

SensorsView sensorsView(const SensorStore& s, bool diagnosticsAvailable) {
    SensorsView v;
    v.available = diagnosticsAvailable;
    v.full = s.l8v;
    if (!diagnosticsAvailable) {
        v.drawing.text(kLabelX, kFirstRowY, kNotAvailable, kLabel);
        return v;
    }
    if (v.full)
        fullLayout(v, s);
    else
        shortLayout(v, s);
    // The rules and headings come last, over the values.
    grid(v.drawing, v.full);
    return v;
}

}  // namespace halvek
