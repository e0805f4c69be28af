#pragma once

#include <chrono>

namespace halvek {

// What drives a host program's controller: the poll timer the controller asks
// for, and the hand-over of what the reader has heard. A session runs its
// loop one step at a time, so it does not care whether a reader thread and a
// mailbox or a single-threaded poll over the line stand behind it.
class PollLoop {
  public:
    enum class Step {
        Tick,      // the controller was ticked at its interval
        Reply,     // a notification of the reader was handled
        Deadline,  // the deadline passed with nothing to do
        Closed,    // the line's reader is gone: nothing more will come
        Woken,     // a descriptor of the program's own was served, or the loop was woken
    };

    virtual ~PollLoop() = default;
    virtual void startTimer(int intervalMs) = 0;
    virtual void stopTimer() = 0;
    virtual bool timerRunning() const = 0;
    // Sleeps until the next tick is due or a notification waits, and serves that
    // one; returns Deadline when the deadline comes first.
    virtual Step runOnce(std::chrono::steady_clock::time_point deadline) = 0;
};

}  // namespace halvek
