#pragma once

namespace halvek::vla {

// The VLA page's fixed texts.
inline constexpr const char* kAbout =
    "Video Level Adjustment (VLA) is a software controlled process of calibrating validator's optical "
    "system.           ";
inline constexpr const char* kCaution =
    "It should be done only with QRV's special  VLA coupon. Using inappropriate coupon may result in significantly "
    "lower validating performance.";
inline constexpr const char* kRequestVla = "Request VLA";
inline constexpr const char* kInsertCoupon = "Select OK and insert QRV VLA coupon to proceed ";

}  // namespace halvek::vla
