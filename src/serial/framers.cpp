#include "serial/framers.h"

#include <algorithm>

#include "serial/frame_layout.h"

namespace halvek {

void ProtocolFramer::reset() {
    received_ = 0;
    expected_ = 0;
    damaged_ = false;
    block_.replyAnnounced.store(0);
}

void ProtocolFramer::onGap() {
    if (received_ == 0) return;
    block_.truncatedFrames.fetch_add(1);
    reset();
}

// The header is complete: a length the buffer cannot hold or shorter than any
// frame is no frame. Its STX was noise; the search goes on from the next byte.
// The reserved byte of a long frame is not looked at: the unit may put
// anything there, and the checksum, which covers it, still guards the frame.
void ProtocolFramer::takeHeader() {
    const bool extended = extended_;
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (;;) {
        const size_t length = announcedLength(buf.data(), extended);
        const bool valid = length >= smallestFrameSize(extended) && length <= kReceiveBufferSize;
        if (valid) {
            expected_ = length;
            block_.replyAnnounced.store(static_cast<uint32_t>(length));
            return;
        }
        block_.badHeaders.fetch_add(1);
        size_t next = 1;
        while (next < received_ && buf[next] != kStx) ++next;
        block_.noiseBytes.fetch_add(static_cast<uint32_t>(next));
        std::copy(buf.begin() + static_cast<long>(next), buf.begin() + static_cast<long>(received_), buf.begin());
        received_ -= next;
        if (received_ < lengthFieldEnd(extended)) return;
    }
}

// The frame just completed is a sound "poll now" that follows the last one
// handed over by less than kPollNowGapMs.
bool ProtocolFramer::surplusPollNow(int64_t nowMs) {
    const ReceiveBuffer& buf = block_.receiveBuffer;
    if (damaged_ || expected_ != smallestFrameSize(extended_) || buf[codeOffset(extended_)] != kPollNowCode)
        return false;
    // The checksum: every byte before it, and it, add up to 0.
    unsigned sum = 0;
    const size_t body = expected_ - checksumSize(extended_);
    for (size_t i = 0; i < body; ++i) sum += buf[i];
    sum += extended_ ? static_cast<unsigned>(buf[body] << 8 | buf[body + 1]) : buf[body];
    if ((sum & (extended_ ? 0xFFFFu : 0xFFu)) != 0) return false;
    if (nowMs - lastPollNowMs_ < kPollNowGapMs) return true;
    lastPollNowMs_ = nowMs;
    return false;
}

void ProtocolFramer::feed(const uint8_t* bytes, const bool* damaged, size_t n, NotificationSink& sink, int64_t nowMs) {
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (size_t i = 0; i < n; ++i) {
        // Read afresh for every byte: a frame delivered earlier in this chunk may have switched it.
        const bool interrupt = block_.interruptMode.load();
        // Polling: only the reply to the frame just written is collected.
        if (!interrupt && !block_.awaitingReply.load()) return;
        block_.captureList.append(bytes[i]);
        block_.lastByteMs.store(nowMs);
        if (received_ == 0 && bytes[i] != kStx) {
            block_.noiseBytes.fetch_add(1);
            continue;
        }
        // A frame is collected in the layout the link was in at its STX; a
        // frame delivered before it may have changed the mode.
        if (received_ == 0) extended_ = block_.extendedMode.load();
        damaged_ = damaged_ || damaged[i];
        buf[received_++] = bytes[i];
        if (expected_ == 0) {
            if (received_ >= lengthFieldEnd(extended_)) takeHeader();
            continue;
        }
        if (received_ < expected_) continue;
        // Every frame that came goes to the capture, a "poll now" merged below too:
        // the capture is the evidence of what the unit sent.
        if (FrameTap* tap = block_.frameTap.load()) tap->captureFrame(buf.data(), expected_, false);
        if (interrupt && surplusPollNow(nowMs)) {
            block_.pollNowsMerged.fetch_add(1);
            received_ = 0;
            expected_ = 0;
            block_.replyAnnounced.store(0);
            continue;
        }
        block_.receiveDamaged.store(damaged_);
        block_.receiveExtended.store(extended_);
        // The first frame after a written one is taken as its reply, in either
        // mode; in interrupt mode a frame may also come unasked.
        block_.receiveAwaited.store(block_.awaitingReply.exchange(false));
        received_ = 0;
        expected_ = 0;
        damaged_ = false;
        block_.replyAnnounced.store(0);
        // The owner reads the buffer while the reader waits here; a frame behind
        // this one in the chunk (interrupt mode) is collected afterwards.
        if (!sink.deliver(Notification::ReplyReady)) return;
    }
}

void DownloadFramer::onCommandWritten(NotificationSink& sink) {
    reset();
    if (block_.downloadStep.load() == kSilentStep) sink.deliver(Notification::TransferDone);
}

void DownloadFramer::feed(const uint8_t* chunk, size_t n, NotificationSink& sink) {
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (size_t i = 0; i < n; ++i) {
        // Past the reply, or longer than anything the loader sends.
        if (replyTaken_ || received_ >= buf.size()) {
            block_.downloadStrayBytes.fetch_add(1);
            continue;
        }
        buf[received_++] = chunk[i];
        const size_t want = block_.downloadReplyLength.load();
        if (received_ > 1 && received_ == want) {
            replyTaken_ = true;
            received_ = 0;
            if (!sink.deliver(Notification::TransferDone)) return;
        }
    }
}

void UploadFramer::onCommandWritten() {
    UploadBuffers& up = block_.upload;
    received_ = 0;
    up.firstFrameDone.store(false);
    up.firstFrameLength.store(block_.extendedMode.load() ? kFirstFrameExtended : kFirstFrameStandard);
    up.remainingBlocks.store(kUnknownBlockCount);
    up.blockToggle.store(false);
}

void UploadFramer::feed(const uint8_t* chunk, size_t n, NotificationSink& sink) {
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
                sink.deliver(Notification::BlockReady);
            }
            continue;
        }
        const bool toB = up.blockToggle.load();
        if (received_ >= UploadBuffers::kBlockSize) received_ = 0;  // a count left by another mode
        (toB ? up.blockB : up.blockA)[received_++] = chunk[i];
        if (received_ == UploadBuffers::kBlockSize) {
            up.blockToggle.store(!toB);
            received_ = 0;
            sink.deliver(Notification::BlockReady);
        }
    }
}

ReceiveMode ReceiveFramers::follow() {
    const ReceiveMode now = block_.receiveMode.load();
    if (now != mode_) {
        reset();
        mode_ = now;
    }
    return now;
}

void ReceiveFramers::reset() {
    protocol_.reset();
    download_.reset();
    upload_.reset();
}

void ReceiveFramers::onCommandWritten(NotificationSink& sink) {
    switch (follow()) {
        case ReceiveMode::Protocol:
            protocol_.onCommandWritten();
            break;
        case ReceiveMode::Download:
            download_.onCommandWritten(sink);
            break;
        case ReceiveMode::Upload:
            upload_.onCommandWritten();
            break;
    }
}

void ReceiveFramers::feed(const uint8_t* bytes, const bool* damaged, size_t n, NotificationSink& sink, int64_t nowMs) {
    switch (follow()) {
        case ReceiveMode::Protocol:
            protocol_.feed(bytes, damaged, n, sink, nowMs);
            break;
        case ReceiveMode::Download:
            download_.feed(bytes, n, sink);
            break;
        case ReceiveMode::Upload:
            upload_.feed(bytes, n, sink);
            break;
    }
}

void ReceiveFramers::onGap() {
    if (follow() == ReceiveMode::Protocol) protocol_.onGap();
}

bool ReceiveFramers::protocolMidFrame() const {
    return block_.receiveMode.load() == ReceiveMode::Protocol && mode_ == ReceiveMode::Protocol && protocol_.midFrame();
}

}  // namespace halvek
