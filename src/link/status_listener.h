#pragma once

#include <string>

#include "link/stores.h"

namespace halvek {

// Tool sessions that act on what the validator reports (the ticket printer
// prints a stacked coupon, the accept-all countdown ends with it) listen to
// the status decoding instead of being known to it.
class StatusListener {
  public:
    virtual ~StatusListener() = default;
    // A coupon was stacked; code is its text as the validator sent it.
    virtual void couponStacked(const std::string& code) { (void)code; }
    // After every status reply, with the bytes as received.
    virtual void statusDecoded(const StatusBytes& status) { (void)status; }
};

}  // namespace halvek
