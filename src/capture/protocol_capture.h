#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "capture/capture_texts.h"
#include "serial/bounded_writer.h"
#include "serial/comm_block.h"

namespace halvek {

// Why a capture ended without the user closing it.
enum class CaptureEnd { LimitReached, WriteFailed };

class CaptureListener {
  public:
    virtual ~CaptureListener() = default;
    // On the main thread, from onTick(). reason is empty at the limit, else
    // the file and what the system said.
    virtual void captureEnded(CaptureEnd end, const std::string& path, const std::string& reason) = 0;
};

// The protocol capture file: one time-stamped line per frame sent or received.
// The reader thread makes the lines (captureFrame) and hands them to a bounded
// writer whose own thread writes the file, so a file system or a FIFO reader
// that stalls never holds up the line; the main thread opens and closes the
// file and sets the limit. A mutex hands the writer over between them, so a
// close never meets a line half queued. A file that stops taking the lines
// (the queue is full, or a write failed) ends the capture there: the file
// keeps every line whole and in order, with no hole in it. What the reader
// thread cannot say itself (the limit was reached, a write failed) waits for
// the owner's next onTick() and goes to the listener there.
class ProtocolCapture : public FrameTap {
  public:
    // Lines waiting for a slow file, at most: some seconds of the busiest polling.
    static constexpr size_t kQueueBytes = 1 << 20;

    using Clock = std::function<int64_t()>;  // milliseconds of any steady clock

    explicit ProtocolCapture(Clock clock = {});
    ~ProtocolCapture() override;
    ProtocolCapture(const ProtocolCapture&) = delete;
    ProtocolCapture& operator=(const ProtocolCapture&) = delete;

    // Main thread. Opens (creating or emptying) the file and starts the clock;
    // a capture already open is closed first. False with the reason on failure.
    bool open(const std::string& path, std::string* error = nullptr);
    // Writes what is queued (waiting a moment at most for a file that takes
    // nothing) and closes the file. False, with why, when lines were left unwritten.
    bool close(std::string* reason = nullptr);
    bool active() const { return active_.load(std::memory_order_acquire); }
    std::string path() const;
    uint64_t written() const;

    void setLimit(uint64_t bytes) { limit_.store(bytes, std::memory_order_relaxed); }
    uint64_t limit() const { return limit_.load(std::memory_order_relaxed); }
    // The option window's list: entry n stands for (n + 1) x 51,200,000 bytes.
    void setLimitIndex(int index);
    int limitIndex() const;

    void setListener(CaptureListener* listener) { listener_ = listener; }
    void onTick();

    // Reader thread.
    void captureFrame(const uint8_t* frame, size_t length, bool sent) override;

    // A path the file dialog returns that is too short to name a file is ignored.
    static bool acceptablePath(const std::string& path) { return path.size() > 4; }

  private:
    // Ends the capture from the reader thread: the writer is handed to the main
    // thread, which finishes it at its next onTick().
    void endLocked(CaptureEnd end, const std::string& reason);
    static void finishWriter(std::unique_ptr<BoundedWriter> writer, std::string* reason);

    Clock clock_;
    mutable std::mutex mutex_;  // guards everything below but the atomics
    std::unique_ptr<BoundedWriter> writer_;
    std::unique_ptr<BoundedWriter> endedWriter_;  // the reader thread's end: finished on the main thread
    std::string path_;
    uint64_t written_ = 0;
    int64_t startMs_ = 0;
    std::string line_;  // kept to spare the reader thread an allocation per frame
    bool ended_ = false;
    CaptureEnd end_ = CaptureEnd::LimitReached;
    std::string endPath_, endReason_;

    std::atomic<bool> active_{false};
    std::atomic<uint64_t> limit_{capture::kLimitStep};
    CaptureListener* listener_ = nullptr;  // main thread only
};

}  // namespace halvek
