#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/link_controller.h"
#include "link/user_interface.h"

namespace halvek {

class AcceptAllListener {
  public:
    virtual ~AcceptAllListener() = default;
    // Time left, mode or the enabled state of START and the period changed.
    virtual void acceptAllChanged() = 0;
};

// The timed accept-all mode: the validator is told once to take every bill
// unchecked for a number of seconds, and the host counts those seconds down.
// The countdown belongs to the program, not to the window: closing the window
// does not end it, and a window opened during it shows it. The session owns
// no timer: it asks its owner for one-second ticks (setTickControl) and is
// driven by onTick().
class AcceptAllSession : public StatusListener {
  public:
    static constexpr int kTickMs = 1000;
    static constexpr int kDefaultPeriod = 60;
    static constexpr int kMaxPeriod = 255;

    // Listens to the status decoding for as long as it lives.
    AcceptAllSession(LinkController& link, UserInterface& ui) : link_(link), ui_(ui) { link_.addStatusListener(this); }
    ~AcceptAllSession() override { link_.removeStatusListener(this); }
    AcceptAllSession(const AcceptAllSession&) = delete;
    AcceptAllSession& operator=(const AcceptAllSession&) = delete;
    void setListener(AcceptAllListener* listener) { listener_ = listener; }
    // Called with true when the ticks must start and false when they must stop.
    void setTickControl(std::function<void(bool)> control) { tickControl_ = std::move(control); }

    // The window opened. While no countdown runs the period is 60 again.
    void open();
    // The period box: 0 to 255; anything else is refused and the period stays.
    bool setPeriod(int seconds);
    // The period box as typed. A text that is not a period (an emptied box,
    // 300) leaves the period as it was but is remembered, so that START does
    // not send a value other than the one on screen.
    bool setPeriodText(const std::string& text);
    // Why the box's text is refused; empty while it holds a period.
    const std::string& periodRefusal() const { return periodRefusal_; }
    // START: refused with "No Connection" while the validator is not polled,
    // and with the entry message while the box holds no period.
    bool start();
    // "Reset cmd": refused with "No connection" while the validator is not
    // polled (a request left waiting would go out at the next CONNECT).
    bool reset();

    // One second has passed.
    void onTick();
    // Entry point for the status decoding: a coupon was stacked. It ends the
    // accept-all period on the host; nothing is sent.
    void onCouponStacked();
    void couponStacked(const std::string&) override { onCouponStacked(); }

    bool running() const { return running_; }
    int period() const { return period_; }
    int timeLeft() const { return timeLeft_; }
    const char* modeText() const;

  private:
    void finish(int timeLeft);
    void changed();

    LinkController& link_;
    UserInterface& ui_;
    AcceptAllListener* listener_ = nullptr;
    std::function<void(bool)> tickControl_;
    int period_ = kDefaultPeriod;
    int timeLeft_ = kDefaultPeriod;
    bool running_ = false;
    std::string periodRefusal_;
};

}  // namespace halvek
