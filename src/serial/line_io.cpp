#include "serial/line_io.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>

namespace halvek {
namespace {

constexpr size_t kReadChunk = 1024;
// A line that stays quiet this long in the middle of a frame has stopped
// sending it. Well above the gaps USB adapters leave between their packets
// (up to 16 ms), well below the time between a command and its retry.
constexpr int kFrameGapMs = 60;
// Protocol bytes taken at most per window: 80 KB a second, seventy times what
// a 9600 baud line carries and room for the longest frame in one window. A
// peer that floods faster (a pseudo-terminal) is read at this pace, not at the
// cost of a processor; frames to write still go out at once meanwhile.
constexpr size_t kIntakeBytesPerWindow = 4096;
constexpr int64_t kIntakeWindowMs = 50;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LineIo::Wait LineIo::next() {
    for (;;) {
        Wait w;
        w.line = block_.port.snapshot();
        if (!w.line.open || block_.portLost.load()) {
            // A frame placed on a lost line can never leave; dropping it lets the
            // controller go on counting unanswered polls.
            if (block_.portLost.load()) block_.transmitLength.store(0, std::memory_order_release);
            return w;
        }
        if (!block_.transmitFree()) {
            writeStep(w.line);
            continue;
        }
        if (const int left = intakeWaitMs()) {
            w.timeoutMs = left;
            return w;
        }
        w.watch = true;
        // Sleeps for good unless a protocol frame is half in: then only until the gap that ends it.
        if (framers_.protocolMidFrame()) {
            w.timeoutMs = kFrameGapMs;
            w.gap = true;
        }
        return w;
    }
}

void LineIo::onReady(const Wait& w, short revents) {
    if (revents & POLLNVAL) return;  // closed under us: the next snapshot says so
    if (revents & (POLLIN | POLLHUP | POLLERR)) readBurst(w.line, (revents & (POLLHUP | POLLERR)) != 0);
}

void LineIo::writeStep(const SerialPort::Snapshot& s) {
    const size_t length = block_.transmitLength.load(std::memory_order_acquire);
    const ReceiveMode mode = block_.receiveMode.load();
    if (mode == ReceiveMode::Protocol) block_.captureList.reset();
    const SerialPort::Io io = block_.port.write(s, block_.transmitBuffer.data(), length);
    if (io == SerialPort::Io::Stale) return;  // port closed meanwhile: the frame waits
    if (io == SerialPort::Io::Lost) {
        markLost();
        return;
    }
    // A frame that cannot leave is dropped, as on a lost line: the controller
    // counts its poll unanswered, and says once what holds the line.
    block_.outputStalled.store(io == SerialPort::Io::Stalled);
    if (io == SerialPort::Io::Stalled) {
        block_.transmitLength.store(0, std::memory_order_release);
        return;
    }
    if (mode == ReceiveMode::Protocol) {
        if (FrameTap* tap = block_.frameTap.load()) tap->captureFrame(block_.transmitBuffer.data(), length, true);
        for (size_t i = 0; i < length; ++i) block_.captureList.append(block_.transmitBuffer[i]);
    }
    // The framer keeps the frame (to know its echo); the buffer is the owner's once freed.
    std::array<uint8_t, kTransmitBufferSize> sent;
    std::copy(block_.transmitBuffer.begin(), block_.transmitBuffer.begin() + static_cast<long>(length), sent.begin());
    block_.transmitLength.store(0, std::memory_order_release);
    block_.awaitingReply.store(true);
    // A reply that never completed must not frame the next one with its length.
    framers_.onCommandWritten(sent.data(), length, sink_);
}

void LineIo::readBurst(const SerialPort::Snapshot& s, bool hungUp) {
    uint8_t chunk[kReadChunk];
    // Takes what the line has: a read that leaves room in the chunk emptied the
    // queue, and asking again would only hear "nothing". A frame placed
    // meanwhile goes out in the next step, before any further byte is read.
    for (;;) {
        size_t n = 0;
        const SerialPort::Io io = block_.port.read(s, chunk, sizeof chunk, n);
        if (io == SerialPort::Io::Lost) {
            markLost();
            return;
        }
        if (io == SerialPort::Io::Empty && hungUp) {
            markLost();
            return;
        }
        if (io != SerialPort::Io::Done) return;
        hungUp = false;
        receive(s, chunk, n);
        if (!block_.run.load()) return;
        if (block_.receiveMode.load() == ReceiveMode::Protocol) {
            const int64_t now = steadyMs();
            if (now - windowStartMs_ >= kIntakeWindowMs) {
                windowStartMs_ = now;
                windowBytes_ = 0;
            }
            windowBytes_ += n;
            if (windowBytes_ >= kIntakeBytesPerWindow) return;
        }
        if (n < sizeof chunk) return;
    }
}

// The protocol bytes of this window are read: the milliseconds until the
// window ends, during which the line is not read (0: read on).
int LineIo::intakeWaitMs() {
    if (windowBytes_ < kIntakeBytesPerWindow) return 0;
    const int64_t left = windowStartMs_ + kIntakeWindowMs - steadyMs();
    if (left <= 0 || block_.receiveMode.load() != ReceiveMode::Protocol) {
        windowBytes_ = 0;
        return 0;
    }
    return static_cast<int>(left);
}

void LineIo::markLost() {
    block_.portLost.store(true);
    block_.awaitingReply.store(false);
    block_.transmitLength.store(0, std::memory_order_release);
    framers_.reset();
}

void LineIo::receive(const SerialPort::Snapshot& s, const uint8_t* raw, size_t count) {
    uint8_t plain[kReadChunk];
    bool damaged[kReadChunk] = {};
    const uint8_t* chunk = raw;
    size_t n = count;
    if (s.marksErrors) {
        // A new line starts with no mark pending.
        if (unescaperGeneration_ != s.generation) {
            unescaper_.reset();
            unescaperGeneration_ = s.generation;
        }
        n = unescaper_.unescape(raw, count, plain, damaged);
        chunk = plain;
    }
    framers_.feed(chunk, damaged, n, sink_, steadyMs());
}

}  // namespace halvek
