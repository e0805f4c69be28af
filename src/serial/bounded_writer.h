#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "serial/waker.h"

namespace halvek {

// Output that must never hold up the link: a terminal, a pipe, a FIFO, a file.
// The owner hands over whole pieces (lines) and goes on at once; a thread of the
// writer's own writes them to the descriptor, in order, whenever it takes them.
// When the descriptor stops taking bytes, the queue fills up to its capacity;
// after that a piece is refused whole (and counted), so what reaches the
// descriptor is always whole pieces. Any loop can drive it: push, then finish
// at the end.
//
// Thread rules: push, finish and the counters from one owner thread; the
// writer's thread touches only the queue (under its lock) and the descriptor.
class BoundedWriter {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts writing to fd, which the writer closes at the end when it owns it.
    BoundedWriter(int fd, size_t capacityBytes, bool ownsFd);
    ~BoundedWriter();  // gives up at once on what is not written
    BoundedWriter(const BoundedWriter&) = delete;
    BoundedWriter& operator=(const BoundedWriter&) = delete;

    // Queues the whole piece, or refuses it whole (false) when the queue has no
    // room for it or a write has failed.
    bool push(std::string_view piece);
    // Waits until everything queued is written, a write fails or the deadline
    // passes, then stops the thread (and closes an owned descriptor). True when
    // every byte queued was written.
    bool finish(Clock::time_point deadline);

    bool failed() const { return failed_.load(std::memory_order_acquire); }
    std::string error() const;                                 // what the system said of the failed write
    uint64_t refusedPieces() const { return refusedPieces_; }  // push() said false
    uint64_t unwrittenBytes() const;                           // queued but not written (after finish)
    size_t queuedBytes() const;

  private:
    void run();

    int fd_;
    bool ownsFd_;
    size_t capacity_;
    Waker waker_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;  // data came, or everything is written, or stop
    std::string queue_;                // bytes not yet taken by the thread
    size_t inFlight_ = 0;              // bytes the thread took but has not written yet
    bool stopping_ = false;            // finish: write what is queued, then end
    std::atomic<bool> abort_{false};   // end now, whatever is left
    bool done_ = false;
    std::atomic<bool> failed_{false};
    std::string error_;
    uint64_t refusedPieces_ = 0;
    std::thread thread_;
};

}  // namespace halvek
