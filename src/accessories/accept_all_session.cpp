#include "accessories/accept_all_session.h"

#include "accessories/accessory_texts.h"
#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {

void AcceptAllSession::changed() {
    if (listener_) listener_->acceptAllChanged();
}

const char* AcceptAllSession::modeText() const { return running_ ? text::kAcceptAllMode : text::kStandardMode; }

void AcceptAllSession::open() {
    if (!running_) {
        period_ = kDefaultPeriod;
        timeLeft_ = period_;
    }
    changed();
}

bool AcceptAllSession::setPeriod(int seconds) {
    if (running_ || seconds < 0 || seconds > kMaxPeriod) return false;
    period_ = seconds;
    timeLeft_ = seconds;
    changed();
    return true;
}

bool AcceptAllSession::start() {
    if (running_) return false;
    if (!link_.timerRunning()) {
        ui_.showMessage({text::kInfo, text::kNoConnection});
        return false;
    }
    timeLeft_ = period_;
    link_.stores().acceptAllSeconds = static_cast<uint8_t>(timeLeft_);
    link_.request(cmd::SetAcceptAll);
    running_ = true;
    if (tickControl_) tickControl_(true);
    changed();
    return true;
}

void AcceptAllSession::reset() { link_.request(cmd::ResetSystem); }

void AcceptAllSession::onTick() {
    if (!running_) return;
    if (timeLeft_ > 0) --timeLeft_;
    if (timeLeft_ == 0)
        finish(0);
    else
        changed();
}

void AcceptAllSession::onCouponStacked() {
    if (running_) finish(period_);
}

void AcceptAllSession::finish(int timeLeft) {
    timeLeft_ = timeLeft;
    running_ = false;
    if (tickControl_) tickControl_(false);
    changed();
}

}  // namespace halvek
