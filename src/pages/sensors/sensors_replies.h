#pragma once

#include "pages/sensors/sensors_store.h"
#include "protocol/reply.h"

namespace halvek {

// Data bytes from which a reply is read in the full (L8V) layout; shorter ones
// are read in the short (L8) layout.
constexpr size_t kSensorFullLayoutBytes = 15;
// The short layout's fixed part; its last byte (the second barcode emitter) may be missing.
constexpr size_t kSensorShortLayoutBytes = 8;

// Stores a sensor-data reply ("read diagn.(0)" with the sensor selector) in
// the layout its length tells, and sets the variant flag by it. Fields of the
// full layout that a reply of 15 to 27 bytes does not hold read as 0. A reply
// too short even for the short layout is refused (false): nothing changes.
bool storeSensors(SensorStore& sensors, const Reply& r);

}  // namespace halvek
