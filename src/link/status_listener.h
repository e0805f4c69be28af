#pragma once

#include <string>

#include "link/money.h"
#include "link/stores.h"

namespace halvek {

// Sessions and tools that act on what the link reports listen to it instead
// of being known to it: the ticket printer prints a stacked coupon, the
// accept-all countdown ends with it, the console monitor prints every event,
// the money journal writes every money event.
class StatusListener {
  public:
    virtual ~StatusListener() = default;
    // A coupon was stacked; code is its text as the validator sent it.
    virtual void couponStacked(const std::string& code) { (void)code; }
    // After every status reply, with the bytes as received.
    virtual void statusDecoded(const StatusBytes& status) { (void)status; }
    // Every line the event list gets, in order (the list itself keeps only the last eight).
    virtual void eventAdded(const std::string& text) { (void)text; }
    virtual void moneyEvent(const MoneyEvent& event) { (void)event; }
    // What the link itself noticed: damaged or unasked frames, replies given up,
    // the unit's mode. Plain words, one line.
    virtual void linkNotice(const std::string& text) { (void)text; }
};

}  // namespace halvek
