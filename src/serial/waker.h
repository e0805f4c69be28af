#pragma once

#include <atomic>

namespace halvek {

// A descriptor the reader thread polls beside the port, so that it sleeps
// instead of spinning and still wakes at once when the main thread places a
// frame, opens or closes the port, or stops the thread.
class Waker {
  public:
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    void wake();
    void drain();
    // Off while the line is driven on the same thread that places frames and
    // opens or closes the port: that loop looks again after every step, and a
    // wake-up would only cost it two system calls per frame.
    void setNeeded(bool needed) { needed_.store(needed, std::memory_order_relaxed); }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::atomic<bool> needed_{true};
};

}  // namespace halvek
