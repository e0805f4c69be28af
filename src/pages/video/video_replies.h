#pragma once

#include "pages/video/video_store.h"
#include "protocol/reply.h"

namespace halvek {

// How the replies of this page's data are stored: pure functions of the reply
// and the store, so that each layout is checked without a line or a controller.
bool storeVideo(VideoStore& video, bool l8v, const Reply& r);
// Streamed video samples: returns true when the record that follows them is expected next.
bool storeVideoSamples(VideoSampleStore& store, bool fullSensorLayout, const Reply& r);

}  // namespace halvek
