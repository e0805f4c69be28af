#pragma once

#include <cstdint>

#include "pages/optics/optics_store.h"
#include "pages/video/video_store.h"

namespace halvek {

// Tells the Quick test's user to insert the VLA paper when new optics data have
// come but no video data: once for each optics reply that arrives while the page
// is shown, never merely because the table was drawn again (a box raised by
// every repaint would come back without end).
class VlaPaperPrompt {
  public:
    // opticsReplies: how many optics replies had arrived when the page opened.
    explicit VlaPaperPrompt(uint32_t opticsReplies) : seen_(opticsReplies) {}

    // After an evaluation, with the optics replies counted so far: true when the user is to be told now.
    bool shouldAsk(const OpticsStore& optics, const VideoStore& video, uint32_t opticsReplies) {
        if (opticsReplies == seen_) return false;
        seen_ = opticsReplies;
        return optics.received && !video.received;
    }

  private:
    uint32_t seen_;
};

}  // namespace halvek
