#pragma once

#include <csignal>

namespace halvek {

class LineLoop;

// Ctrl-C and SIGTERM for a program without a window, while it lives: the
// handler notes the stop and wakes the program's line loop, so a signal that
// comes just before the loop goes to sleep (or one taken by another thread
// of the process) still ends that sleep at once instead of at the next tick.
// The run ends as EXIT would: the program looks at requested() after every
// step and closes the line properly. One at a time in a process; the
// handlers there before are back when it goes.
class StopSignals {
  public:
    // loop: the loop to wake (none: the flag alone, for a loop that a reader
    // thread serves and that looks at the flag every little while).
    explicit StopSignals(LineLoop* loop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool requested() const;

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace halvek
