#pragma once

#include <cstdint>
#include <string>

#include "link/link_controller.h"
#include "link/user_interface.h"

namespace halvek {

class CassetteControlsListener {
  public:
    virtual ~CassetteControlsListener() = default;
    virtual void cassetteControlsChanged() = 0;
};

// The logic of the cassette controls window: cycle the cassette, read its
// sensor and show the sensor and whether the cassette is attached.
class CassetteControlsSession {
  public:
    CassetteControlsSession(LinkController& link, UserInterface& ui) : link_(link), ui_(ui) {}
    void setListener(CassetteControlsListener* listener) { listener_ = listener; }

    // Both place their frame at once. A frame placed while the line is not
    // polled would wait in the transmit buffer and leave at the next CONNECT,
    // so both are refused then with "No connection". False when nothing was sent.
    bool readSensor();
    bool cycleCassette();

    // Entry point for the reply to "read stacker sensor": its first data byte.
    void onSensorReply(uint8_t sensor);

    // Empty until the first sensor reply.
    const std::string& sensorText() const { return sensorText_; }
    const std::string& cassetteText() const { return cassetteText_; }

  private:
    bool polled();

    LinkController& link_;
    UserInterface& ui_;
    CassetteControlsListener* listener_ = nullptr;
    std::string sensorText_, cassetteText_;
};

}  // namespace halvek
