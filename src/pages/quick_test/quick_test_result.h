#pragma once

#include <cstdint>

#include "pages/optics/optics_store.h"
#include "pages/video/video_ranges.h"
#include "pages/video/video_store.h"

namespace halvek {

// The Quick test verdict, one bit per line that failed.
namespace quicktest {
constexpr uint8_t kDetectorsFailed = 0x01, kEmittersFailed = 0x02, kVideoFailed = 0x04;
// A gain the detector cannot have settled at: none, or the top of its 10-bit range.
constexpr uint16_t kGainStuckLow = 0, kGainStuckHigh = 0x3FF;
}  // namespace quicktest

// The video ranges of the Quick test. They are the Video test page's except the
// L8's reflective infrared half-width, 46 here against 44 there: the two pages
// have always judged that channel differently, and both are kept as they are.
const VideoRanges& quickTestRanges(bool l8v);

// Judges what has arrived: the detectors and emitters once optics data have come,
// the video levels once video data have; a line with no data does not fail.
uint8_t quickTestResult(const OpticsStore& optics, const VideoStore& video, bool l8v);

}  // namespace halvek
