#include "accessories/accept_all_session.h"

#include "accessories/accessory_texts.h"
#include "link/texts.h"
#include "pages/common/entry_check.h"
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
        periodRefusal_.clear();
    }
    changed();
}

bool AcceptAllSession::setPeriod(int seconds) {
    if (running_ || seconds < 0 || seconds > kMaxPeriod) return false;
    period_ = seconds;
    timeLeft_ = seconds;
    periodRefusal_.clear();
    changed();
    return true;
}

bool AcceptAllSession::setPeriodText(const std::string& text) {
    if (running_) return false;
    const EntryCheck c = checkEntry(text, 0, kMaxPeriod);
    if (!c.value) {
        periodRefusal_ = c.message;
        return false;
    }
    return setPeriod(static_cast<int>(*c.value));
}

bool AcceptAllSession::start() {
    if (running_) return false;
    if (!link_.timerRunning()) {
        ui_.showMessage({text::kInfo, text::kNoConnection});
        return false;
    }
    if (!periodRefusal_.empty()) {
        ui_.showMessage({text::kInfo, periodRefusal_});
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

bool AcceptAllSession::reset() {
    if (!link_.timerRunning()) {
        ui_.showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    link_.request(cmd::ResetSystem);
    return true;
}

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
