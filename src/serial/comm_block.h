#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "serial/serial_port.h"
#include "serial/waker.h"

namespace halvek {

enum class ReceiveMode : uint8_t { Protocol = 0, Download = 1, Upload = 2 };

constexpr size_t kTransmitBufferSize = 160;
constexpr size_t kReceiveBufferSize = 2048;

// The received frame (protocol mode) or download reply. Written by the reader
// thread, read by the main thread only while a notification is being handled.
using ReceiveBuffer = std::array<uint8_t, kReceiveBufferSize>;

// The bytes of the last command frame followed by the bytes received after it,
// shown by the traffic view while the reader fills it. The reader thread is its
// only writer; any thread may take a snapshot. A sequence count around every
// change lets a snapshot tell a consistent copy from one the writer overtook,
// so the view never mixes the bytes of two exchanges. Empty entries hold 0xFFFF.
class CaptureList {
  public:
    static constexpr size_t kEntries = 1024;
    static constexpr size_t kExchangeLimit = 800;
    static constexpr uint16_t kEmpty = 0xFFFF;
    using Entries = std::array<uint16_t, kEntries>;

    CaptureList();
    // Writer side (the reader thread): empties the list for a new exchange.
    void reset();
    void append(uint8_t byte);  // ignored once kExchangeLimit entries are filled

    uint16_t at(size_t i) const { return entries_[i].load(std::memory_order_relaxed); }
    size_t count() const { return count_.load(std::memory_order_relaxed); }
    // Counts the exchanges: it changes at every reset.
    uint32_t exchange() const { return exchange_.load(std::memory_order_acquire); }
    // Copies the list as it stood at one moment, with its exchange number. False
    // (and out unspecified) when the writer kept changing it on every try.
    bool snapshot(Entries& out, uint32_t* exchange = nullptr) const;

  private:
    void beginChange();
    void endChange();

    std::array<std::atomic<uint16_t>, kEntries> entries_;
    std::atomic<uint16_t> count_{0};
    std::atomic<uint32_t> exchange_{0};
    std::atomic<uint32_t> sequence_{0};  // odd while a change is under way
};

// Filled by the reader thread during a firmware upload; read by the upload
// session while a BlockReady notification is being handled.
struct UploadBuffers {
    static constexpr size_t kFirstFrameMax = 135;
    static constexpr size_t kBlockSize = 133;
    std::array<uint8_t, kFirstFrameMax> firstFrame{};
    std::array<uint8_t, kBlockSize> blockA{};
    std::array<uint8_t, kBlockSize> blockB{};
    std::atomic<bool> firstFrameDone{false};
    std::atomic<uint32_t> firstFrameLength{0};
    std::atomic<bool> blockToggle{false};  // false: the next block goes to A
    std::atomic<uint32_t> remainingBlocks{0};
};

// Sees every protocol frame the reader thread sends and receives (the capture file).
class FrameTap {
  public:
    virtual ~FrameTap() = default;
    virtual void captureFrame(const uint8_t* frame, size_t length, bool sent) = 0;
};

// The block the main thread and the reader thread share. No lock guards it:
// the transmit hand-over is the length, written last by the main thread (only
// while it is 0) and cleared by the reader thread once the frame is written.
struct CommBlock {
    Waker waker;
    SerialPort port{waker};
    std::atomic<bool> run{false};
    std::atomic<bool> awaitingReply{false};
    std::atomic<bool> portLost{false};  // the device went away under an open port
    // The last frame could not be written: the line took no bytes (held by flow
    // control). Cleared by the next frame that goes out.
    std::atomic<bool> outputStalled{false};

    std::array<uint8_t, kTransmitBufferSize> transmitBuffer{};
    std::atomic<uint8_t> transmitLength{0};

    std::atomic<ReceiveMode> receiveMode{ReceiveMode::Protocol};
    std::atomic<uint8_t> downloadStep{0};
    std::atomic<uint8_t> downloadReplyLength{0};
    // Bytes that came after a loader's reply was whole, before the next frame went out: dropped.
    std::atomic<uint32_t> downloadStrayBytes{0};

    // The link's mode flags, read by the reader thread for framing and collecting.
    std::atomic<bool> extendedMode{true};
    std::atomic<bool> interruptMode{false};

    ReceiveBuffer receiveBuffer{};
    // Of the frame in the receive buffer (read during its notification): a byte
    // of it arrived damaged (parity or framing error).
    std::atomic<bool> receiveDamaged{false};
    // The layout the frame in the receive buffer was collected in: the mode can
    // change while a frame arrives (a reply that switches it, a user's choice),
    // and a frame is read in the layout its header had.
    std::atomic<bool> receiveExtended{true};
    // Whether a frame written earlier was still waiting for its answer when this
    // one completed: if not, the frame came unasked (interrupt mode).
    std::atomic<bool> receiveAwaited{true};
    // The length the frame now arriving announced (0: none under way), and when
    // its last byte came (steady milliseconds): the controller waits for a long
    // reply as long as its bytes take at the line speed.
    std::atomic<uint32_t> replyAnnounced{0};
    std::atomic<int64_t> lastByteMs{0};
    // What the framer threw away: bytes outside any frame, headers no frame can
    // have, frames cut short by a silent line.
    std::atomic<uint32_t> noiseBytes{0};
    std::atomic<uint32_t> badHeaders{0};
    std::atomic<uint32_t> truncatedFrames{0};
    // "Poll now" frames dropped for following another too closely.
    std::atomic<uint32_t> pollNowsMerged{0};
    // The host's own frames that came back to it: the line echoes what it is sent.
    std::atomic<uint32_t> echoes{0};
    CaptureList captureList;
    UploadBuffers upload;
    std::atomic<FrameTap*> frameTap{nullptr};

    bool transmitFree() const { return transmitLength.load(std::memory_order_acquire) == 0; }
    // Places a frame for the reader thread; false (and nothing changed) while one is waiting.
    bool placeFrame(const uint8_t* frame, size_t length);
};

}  // namespace halvek
