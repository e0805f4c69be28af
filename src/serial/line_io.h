#pragma once

#include <cstddef>
#include <cstdint>

#include "serial/comm_block.h"
#include "serial/framers.h"
#include "serial/line_unescaper.h"
#include "serial/notification.h"

namespace halvek {

// The work on the validator's line, one step at a time: writing the frame
// waiting in the comm block, reading what the line has, framing it by the
// receive mode and handing every complete unit to the sink, ending a frame
// the line stopped sending, and marking a line that went away. Whoever drives
// it (the reader thread, or a program's own loop on its one thread) only
// sleeps in between, on what next() says to wait for.
class LineIo {
  public:
    // What to sleep on before the next step: the line (when watch is set) for
    // input, and at most timeoutMs (-1: no limit). gap: the limit is the quiet
    // time that ends a frame half in, so reaching it calls for onGap().
    struct Wait {
        SerialPort::Snapshot line;
        bool watch = false;
        int timeoutMs = -1;
        bool gap = false;
    };

    LineIo(CommBlock& block, NotificationSink& sink) : block_(block), sink_(sink), framers_(block) {}
    LineIo(const LineIo&) = delete;
    LineIo& operator=(const LineIo&) = delete;

    // Writes the frame waiting, if any, and says what to wait for next.
    Wait next();
    // The line polled readable (or hung up) in the wait next() gave.
    void onReady(const Wait& w, short revents);
    // The wait's gap passed with nothing from the line: a frame half in is not coming.
    void onGap() { framers_.onGap(); }

  private:
    void writeStep(const SerialPort::Snapshot& s);
    void readBurst(const SerialPort::Snapshot& s, bool hungUp);
    void receive(const SerialPort::Snapshot& s, const uint8_t* chunk, size_t n);
    int intakeWaitMs();
    void markLost();

    CommBlock& block_;
    NotificationSink& sink_;
    // Owned by the thread that drives the line alone.
    LineUnescaper unescaper_;
    uint64_t unescaperGeneration_ = 0;
    ReceiveFramers framers_;
    // Protocol bytes read in the current intake window, and when it began.
    size_t windowBytes_ = 0;
    int64_t windowStartMs_ = 0;
};

}  // namespace halvek
