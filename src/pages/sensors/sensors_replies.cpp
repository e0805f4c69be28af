#include "pages/sensors/sensors_replies.h"

namespace halvek {

bool storeSensors(SensorStore& s, const Reply& r) {
    const size_t n = r.dataCount();
    if (n < kSensorShortLayoutBytes) return false;
    s.received = true;
    if (n >= kSensorFullLayoutBytes) {
        s.l8v = true;
        // Reply order: front right, front left, rear exit, sidelook, channel open.
        const SensorRow order[] = {FrontRight, FrontLeft, RearExit, Sidelook, ChanOpen};
        for (size_t i = 0; i < 5; ++i) {
            SensorReading& row = s.full[order[i]];
            row.gain = r.data16(5 * i);
            row.target = r.data(5 * i + 2);
            row.reading = r.data(5 * i + 3);
            row.status = r.data(5 * i + 4);
        }
        s.temperatureAtVla = r.data(25);
        s.currentTemperature = r.data(26);
        s.barcodeEmitter1 = r.data(27);
        return true;
    }
    s.l8v = false;
    s.frontStatus = r.data(0);
    s.rearStatus = r.data(1);
    s.sidelookGain = r.data16(2);
    s.sidelookReading = r.data(4);
    s.barcodeEmitter1 = r.data(5);
    s.temperatureAtVla = r.data(6);
    s.currentTemperature = r.data(7);
    s.barcodeEmitter2 = r.data(8);
    return true;
}

}  // namespace halvek
