#include "serial/reader_thread.h"

#include <poll.h>

#include <cerrno>

namespace halvek {
namespace {

constexpr size_t kReadChunk = 1024;

size_t smallestFrame(bool extended) { return extended ? 7 : 4; }

size_t announcedLength(const ReceiveBuffer& b, bool extended) {
    return extended ? static_cast<size_t>(b[2]) * 256 + b[3] : b[1];
}

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

void ReaderThread::resetFraming() {
    received_ = 0;
    expected_ = 0;
    discarding_ = false;
}

void ReaderThread::writeStep(const SerialPort::Snapshot& s) {
    const size_t length = block_.transmitLength.load(std::memory_order_acquire);
    const ReceiveMode mode = block_.receiveMode.load();
    if (mode == ReceiveMode::Protocol) {
        block_.captureList.reset();
        // A reply that never completed must not frame the next one with its length.
        resetFraming();
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
            received_ = 0;
            if (block_.downloadStep.load() == 30) sink_.deliver(Notification::TransferDone);
            break;
        case ReceiveMode::Upload:
            block_.transmitLength.store(0, std::memory_order_release);
            block_.awaitingReply.store(true);
            received_ = 0;
            block_.upload.firstFrameDone.store(false);
            block_.upload.firstFrameLength.store(block_.extendedMode.load() ? 135 : 132);
            block_.upload.remainingBlocks.store(0x0FFFFFFF);
            block_.upload.blockToggle.store(false);
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
    resetFraming();
}

void ReaderThread::receive(const uint8_t* chunk, size_t n) {
    switch (block_.receiveMode.load()) {
        case ReceiveMode::Protocol:
            receiveProtocol(chunk, n);
            break;
        case ReceiveMode::Download:
            receiveDownload(chunk, n);
            break;
        case ReceiveMode::Upload:
            receiveUpload(chunk, n);
            break;
    }
}

void ReaderThread::receiveProtocol(const uint8_t* chunk, size_t n) {
    const bool interrupt = block_.interruptMode.load();
    const bool extended = block_.extendedMode.load();
    const size_t smallest = smallestFrame(extended);
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (size_t i = 0; i < n; ++i) {
        // Polling: only the reply to the frame just written is collected.
        if (!interrupt && !block_.awaitingReply.load()) return;
        block_.captureList.append(chunk[i]);
        // A length the buffer cannot hold, or shorter than any frame, never
        // completes: its bytes are dropped until the next command is written.
        if (discarding_) continue;
        buf[received_++] = chunk[i];
        if (expected_ == 0 && received_ == smallest) {
            expected_ = announcedLength(buf, extended);
            if (expected_ < smallest || expected_ > kReceiveBufferSize) {
                received_ = 0;
                expected_ = 0;
                discarding_ = true;
                continue;
            }
        }
        if (expected_ != 0 && received_ == expected_) {
            if (FrameTap* tap = block_.frameTap.load()) tap->captureFrame(buf.data(), expected_, false);
            received_ = 0;
            expected_ = 0;
            block_.awaitingReply.store(false);
            sink_.deliver(Notification::ReplyReady);
            return;  // the rest of the chunk is dropped
        }
    }
}

void ReaderThread::receiveDownload(const uint8_t* chunk, size_t n) {
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (size_t i = 0; i < n; ++i) {
        if (received_ >= buf.size()) return;  // nothing the loader sends is this long
        buf[received_++] = chunk[i];
        const size_t want = block_.downloadReplyLength.load();
        if (received_ > 1 && received_ == want) {
            block_.downloadReplyLength.store(0);
            sink_.deliver(Notification::TransferDone);
            received_ = 0;
        }
    }
}

void ReaderThread::receiveUpload(const uint8_t* chunk, size_t n) {
    UploadBuffers& up = block_.upload;
    for (size_t i = 0; i < n; ++i) {
        if (!up.firstFrameDone.load()) {
            const size_t want = up.firstFrameLength.load();
            // Bytes before the upload command has gone out (the end of a poll's
            // reply) are no part of the upload.
            if (want == 0) continue;
            if (received_ < up.firstFrame.size()) up.firstFrame[received_] = chunk[i];
            ++received_;
            if (received_ >= want) {
                up.firstFrameDone.store(true);
                received_ = 0;
                sink_.deliver(Notification::BlockReady);
            }
            continue;
        }
        const bool toB = up.blockToggle.load();
        if (received_ >= UploadBuffers::kBlockSize) received_ = 0;  // a count left by another mode
        (toB ? up.blockB : up.blockA)[received_++] = chunk[i];
        if (received_ == UploadBuffers::kBlockSize) {
            up.blockToggle.store(!toB);
            received_ = 0;
            sink_.deliver(Notification::BlockReady);
        }
    }
}

}  // namespace halvek
