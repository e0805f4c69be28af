#pragma once

#include <thread>

#include "serial/comm_block.h"
#include "serial/line_io.h"
#include "serial/notification.h"

namespace halvek {

// Drives the line on a thread of its own: writes the frame waiting in the comm
// block and collects what the validator sends back, and hands every complete
// unit to the main thread synchronously. It sleeps in poll() on the port and
// the waker: an idle line costs no processor time.
class ReaderThread {
  public:
    ReaderThread(CommBlock& block, NotificationSink& sink) : block_(block), sink_(sink), io_(block, sink) {}
    ~ReaderThread() { stop(); }
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    void start();
    // Safe while the reader is blocked delivering: the sink is cancelled first.
    void stop();
    bool running() const { return thread_.joinable(); }

  private:
    void loop();

    CommBlock& block_;
    NotificationSink& sink_;
    LineIo io_;  // the reader thread's alone
    std::thread thread_;
};

}  // namespace halvek
