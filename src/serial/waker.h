#pragma once

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
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

}  // namespace halvek
