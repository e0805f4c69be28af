#include "serial/reader_thread.h"

#include <poll.h>

#include <cerrno>

namespace halvek {
namespace {

constexpr size_t kReadChunk = 1024;

}  // namespace

void ReaderThread::start() {
    if (thread_.joinable()) return;
    block_.awaitingReply.store(false);
    block_.run.store(true);
    thread_ = std::thread([this] { loop(); });
}

void ReaderThread::stop() {
    if (!thread_.joinable()) return;
    block_.run.store(false);
    block_.waker.wake();
    sink_.cancel();
    thread_.join();
}

void ReaderThread::loop() {
    while (block_.run.load()) {
        const SerialPort::Snapshot s = block_.port.snapshot();
        if (!s.open || block_.portLost.load()) {
            // A frame placed on a lost line can never leave; dropping it lets the
            // controller go on counting unanswered polls.
            if (block_.portLost.load()) block_.transmitLength.store(0, std::memory_order_release);
            pollfd w{block_.waker.fd(), POLLIN, 0};
            ::poll(&w, 1, -1);
            block_.waker.drain();
            continue;
        }
        if (!block_.transmitFree()) {
            writeStep(s);
            continue;
        }
        pollfd fds[2] = {{s.fd, POLLIN, 0}, {block_.waker.fd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0) continue;  // EINTR: look again
        if (fds[1].revents & POLLIN) block_.waker.drain();
        if (fds[0].revents & POLLNVAL) continue;  // closed under us: the next snapshot says so
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) readBurst(s, (fds[0].revents & (POLLHUP | POLLERR)) != 0);
    }
}

void ReaderThread::writeStep(const SerialPort::Snapshot& s) {
    const size_t length = block_.transmitLength.load(std::memory_order_acquire);
    const ReceiveMode mode = block_.receiveMode.load();
    if (mode == ReceiveMode::Protocol) {
        block_.captureList.reset();
        // A reply that never completed must not frame the next one with its length.
        protocol_.onCommandWritten();
    }
    const SerialPort::Io io = block_.port.write(s, block_.transmitBuffer.data(), length);
    if (io == SerialPort::Io::Stale) return;  // port closed meanwhile: the frame waits
    if (io == SerialPort::Io::Lost) {
        markLost();
        return;
    }
    switch (mode) {
        case ReceiveMode::Protocol: {
            if (FrameTap* tap = block_.frameTap.load()) tap->captureFrame(block_.transmitBuffer.data(), length, true);
            for (size_t i = 0; i < length; ++i) block_.captureList.append(block_.transmitBuffer[i]);
            block_.transmitLength.store(0, std::memory_order_release);
            block_.awaitingReply.store(true);
            break;
        }
        case ReceiveMode::Download:
            block_.transmitLength.store(0, std::memory_order_release);
            block_.awaitingReply.store(true);
            download_.onCommandWritten(sink_);
            break;
        case ReceiveMode::Upload:
            block_.transmitLength.store(0, std::memory_order_release);
            block_.awaitingReply.store(true);
            upload_.onCommandWritten();
            break;
    }
}

void ReaderThread::readBurst(const SerialPort::Snapshot& s, bool hungUp) {
    uint8_t chunk[kReadChunk];
    // Read until the queue is empty; a frame placed meanwhile goes out in the next
    // pass, before any further byte is read.
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
        receive(chunk, n);
        if (!block_.run.load()) return;
    }
}

void ReaderThread::markLost() {
    block_.portLost.store(true);
    block_.awaitingReply.store(false);
    block_.transmitLength.store(0, std::memory_order_release);
    protocol_.reset();
    download_.reset();
    upload_.reset();
}

void ReaderThread::receive(const uint8_t* chunk, size_t n) {
    switch (block_.receiveMode.load()) {
        case ReceiveMode::Protocol:
            protocol_.feed(chunk, n, sink_);
            break;
        case ReceiveMode::Download:
            download_.feed(chunk, n, sink_);
            break;
        case ReceiveMode::Upload:
            upload_.feed(chunk, n, sink_);
            break;
    }
}

}  // namespace halvek
