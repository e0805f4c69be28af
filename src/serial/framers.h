#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "serial/comm_block.h"
#include "serial/notification.h"

namespace halvek {

// How the reader thread cuts the received bytes into the units it hands over,
// one small framer per receive mode. Each is owned and driven by the reader
// thread alone; what it shares with the main thread lives in the CommBlock.

// Protocol frames. A frame starts with STX; its header announces its length,
// and it is handed over once that many bytes have arrived. The framer finds
// its way back by itself after any damage: bytes outside a frame that are not
// STX are skipped, a header no frame can have is dropped and the search for
// STX resumes behind its start, and a frame the line stops sending in the
// middle of is dropped at the gap. Checking the checksum is the controller's.
class ProtocolFramer {
  public:
    // "Poll now" (code 0x55, no data): the unit may send it back to back. One
    // every kPollNowGapMs is handed over; the others are counted and dropped
    // here, since the host polls no faster than that anyway and each hand-over
    // costs the main thread a wake-up. It never answers a frame written.
    static constexpr uint8_t kPollNowCode = 0x55;
    static constexpr int64_t kPollNowGapMs = 25;
    // A status reply carries at least S0 to S2: a shorter one (the poll itself,
    // come back on an echoing line) answers nothing.
    static constexpr uint8_t kStatusCode = 0xCC;
    static constexpr size_t kStatusDataMin = 3;

    explicit ProtocolFramer(CommBlock& block) : block_(block) {}
    // Drops a partial frame.
    void reset();
    // A command frame was written: the reply to it starts afresh. A reply still
    // arriving is lost with it, and counted as cut short.
    void onCommandWritten(const uint8_t* frame, size_t length);
    // Collects the bytes of a chunk (damaged[i]: byte i arrived with an error)
    // and hands over every frame that completes.
    void feed(const uint8_t* bytes, const bool* damaged, size_t n, NotificationSink& sink, int64_t nowMs);
    // The line went quiet in the middle of a frame: the rest of it is not coming.
    void onGap();
    bool midFrame() const { return received_ > 0; }

  private:
    void takeHeader();
    bool soundPollNow() const;
    bool surplusPollNow(int64_t nowMs);
    bool isEcho() const;
    bool canBeReply() const;
    bool complete(NotificationSink& sink, int64_t nowMs);

    CommBlock& block_;
    size_t received_ = 0;
    size_t expected_ = 0;
    bool damaged_ = false;
    bool extended_ = true;  // the layout of the frame under way, fixed at its STX
    int64_t lastPollNowMs_ = -kPollNowGapMs;
    // The frame written last, while no frame has come since: a line that echoes
    // brings it back first, and it is no reply.
    std::array<uint8_t, kTransmitBufferSize> sent_{};
    size_t sentLength_ = 0;
};

// Download loader replies: as long as the download session said it would be.
// One reply per frame written: once it is whole, whatever else comes before the
// next frame is written (line noise, a loader's stray bytes) is dropped and
// counted, so that it can neither pass for a second reply nor start the next.
class DownloadFramer {
  public:
    // The step after which the loader answers nothing: the session goes on as soon as it is written.
    static constexpr uint8_t kSilentStep = 30;

    explicit DownloadFramer(CommBlock& block) : block_(block) {}
    void reset() {
        received_ = 0;
        replyTaken_ = false;
    }
    void onCommandWritten(NotificationSink& sink);
    void feed(const uint8_t* chunk, size_t n, NotificationSink& sink);

  private:
    CommBlock& block_;
    size_t received_ = 0;
    bool replyTaken_ = false;
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

// The three framers, each used while the link is in its receive mode. They
// share the receive buffer, so when the mode changes every framer starts
// afresh: the bytes of a frame begun in the old mode are gone, and a framer
// that kept counting them would hand over whatever the other one left there.
class ReceiveFramers {
  public:
    explicit ReceiveFramers(CommBlock& block) : block_(block), protocol_(block), download_(block), upload_(block) {}
    // A frame was written in the current mode: its reply starts afresh.
    void onCommandWritten(const uint8_t* frame, size_t length, NotificationSink& sink);
    // Bytes that arrived, framed by the current mode.
    void feed(const uint8_t* bytes, const bool* damaged, size_t n, NotificationSink& sink, int64_t nowMs);
    // The line went quiet: a protocol frame half in is not coming.
    void onGap();
    bool protocolMidFrame() const;
    void reset();

  private:
    ReceiveMode follow();

    CommBlock& block_;
    ReceiveMode mode_ = ReceiveMode::Protocol;
    ProtocolFramer protocol_;
    DownloadFramer download_;
    UploadFramer upload_;
};

}  // namespace halvek
