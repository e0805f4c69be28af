#pragma once

#include <cstddef>
#include <cstdint>

#include "serial/comm_block.h"
#include "serial/notification.h"

namespace halvek {

// How the reader thread cuts the received bytes into the units it hands over,
// one small framer per receive mode. Each is owned and driven by the reader
// thread alone; what it shares with the main thread lives in the CommBlock.

// Protocol frames: the length is read from the frame's header, and the frame
// is handed over when that many bytes have arrived.
class ProtocolFramer {
  public:
    explicit ProtocolFramer(CommBlock& block) : block_(block) {}
    void reset();
    // A command frame was written: the reply to it starts afresh.
    void onCommandWritten() { reset(); }
    // Collects the bytes of a chunk; once a frame is whole it is handed over
    // and the rest of the chunk is dropped.
    void feed(const uint8_t* chunk, size_t n, NotificationSink& sink);

  private:
    CommBlock& block_;
    size_t received_ = 0;
    size_t expected_ = 0;
    bool discarding_ = false;
};

// Download loader replies: as long as the download session said it would be.
class DownloadFramer {
  public:
    // The step after which the loader answers nothing: the session goes on as soon as it is written.
    static constexpr uint8_t kSilentStep = 30;

    explicit DownloadFramer(CommBlock& block) : block_(block) {}
    void reset() { received_ = 0; }
    void onCommandWritten(NotificationSink& sink);
    void feed(const uint8_t* chunk, size_t n, NotificationSink& sink);

  private:
    CommBlock& block_;
    size_t received_ = 0;
};

// Firmware upload: a first frame (the header reply) and then 133-byte packets,
// alternating between two buffers so the session reads one while the other fills.
class UploadFramer {
  public:
    static constexpr uint32_t kFirstFrameStandard = 132;
    static constexpr uint32_t kFirstFrameExtended = 135;
    // Until the header says how many packets follow, there is no end to them.
    static constexpr uint32_t kUnknownBlockCount = 0x0FFFFFFF;

    explicit UploadFramer(CommBlock& block) : block_(block) {}
    void reset() { received_ = 0; }
    void onCommandWritten();
    void feed(const uint8_t* chunk, size_t n, NotificationSink& sink);

  private:
    CommBlock& block_;
    size_t received_ = 0;
};

}  // namespace halvek
