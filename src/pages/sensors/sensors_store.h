#pragma once

#include <array>
#include <cstdint>

namespace halvek {

// Bill-path sensors, in display order.
enum SensorRow { Sidelook = 0, ChanOpen, FrontRight, FrontLeft, RearExit, kSensorRows };

struct SensorReading {
    uint16_t gain = 0;
    uint8_t target = 0, reading = 0, status = 0;
};

struct SensorStore {
    bool l8v = false;  // the variant flag: full layout, 5/3 optical channels, report title
    std::array<SensorReading, kSensorRows> full{};
    uint8_t temperatureAtVla = 0, currentTemperature = 0, barcodeEmitter1 = 0;
    // Short layout only.
    uint16_t sidelookGain = 0;
    uint8_t sidelookReading = 0, frontStatus = 0, rearStatus = 0, barcodeEmitter2 = 0;
    bool received = false;  // a usable reply has been stored since start
};

}  // namespace halvek
