#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "serial/comm_block.h"
#include "serial/framers.h"
#include "serial/line_unescaper.h"
#include "serial/notification.h"

namespace halvek {

// Writes the frame waiting in the comm block and collects what the validator
// sends back, framing it by the receive mode, and hands every complete unit to
// the main thread synchronously. It sleeps in poll() on the port and the
// waker: an idle line costs no processor time.
class ReaderThread {
  public:
    ReaderThread(CommBlock& block, NotificationSink& sink) : block_(block), sink_(sink), framers_(block) {}
    ~ReaderThread() { stop(); }
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    void start();
    // Safe while the reader is blocked delivering: the sink is cancelled first.
    void stop();
    bool running() const { return thread_.joinable(); }

  private:
    void loop();
    void writeStep(const SerialPort::Snapshot& s);
    void readBurst(const SerialPort::Snapshot& s, bool hungUp);
    void receive(const SerialPort::Snapshot& s, const uint8_t* chunk, size_t n);
    int gapTimeoutMs() const;
    bool intakeSpent();
    void markLost();

    CommBlock& block_;
    NotificationSink& sink_;
    std::thread thread_;

    // Owned by the reader thread alone.
    LineUnescaper unescaper_;
    uint64_t unescaperGeneration_ = 0;
    ReceiveFramers framers_;
    // Protocol bytes read in the current intake window, and when it began.
    size_t windowBytes_ = 0;
    int64_t windowStartMs_ = 0;
};

}  // namespace halvek
