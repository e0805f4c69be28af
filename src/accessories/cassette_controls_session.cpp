#include "accessories/cassette_controls_session.h"

#include "accessories/accessory_texts.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "protocol/status_bits.h"

namespace halvek {

bool CassetteControlsSession::polled() {
    if (link_.timerRunning()) return true;
    ui_.showMessage({text::kInfo, text::kNoConnectionLower});
    return false;
}

bool CassetteControlsSession::readSensor() { return polled() && link_.sendSimpleCommand(cmd::ReadStackerSensor, true); }

bool CassetteControlsSession::cycleCassette() { return polled() && link_.sendSimpleCommand(cmd::CycleStacker, false); }

void CassetteControlsSession::onSensorReply(uint8_t sensor) {
    sensorText_ = sensor == 1 ? text::kSensorClosed : text::kSensorOpen;
    const bool attached = !(link_.stores().status.current[2] & status::kStackerDetached);
    cassetteText_ = attached ? text::kCassetteAttached : text::kCassetteDetached;
    if (listener_) listener_->cassetteControlsChanged();
}

}  // namespace halvek
