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

void ProtocolFramer::onCommandWritten(const uint8_t* frame, size_t length) {
    if (received_ > 0) block_.truncatedFrames.fetch_add(1);
    reset();
    sentLength_ = std::min(length, sent_.size());
    std::copy(frame, frame + sentLength_, sent_.begin());
}

// The frame just completed is a sound "poll now".
bool ProtocolFramer::soundPollNow() const {
    const ReceiveBuffer& buf = block_.receiveBuffer;
    if (damaged_ || expected_ != smallestFrameSize(extended_) || buf[codeOffset(extended_)] != kPollNowCode)
        return false;
    // The checksum: every byte before it, and it, add up to 0.
    unsigned sum = 0;
    const size_t body = expected_ - checksumSize(extended_);
    for (size_t i = 0; i < body; ++i) sum += buf[i];
    sum += extended_ ? static_cast<unsigned>(buf[body] << 8 | buf[body + 1]) : buf[body];
    return (sum & (extended_ ? 0xFFFFu : 0xFFu)) == 0;
}

// A sound "poll now" that follows the last one handed over by less than kPollNowGapMs.
bool ProtocolFramer::surplusPollNow(int64_t nowMs) {
    if (nowMs - lastPollNowMs_ < kPollNowGapMs) return true;
    lastPollNowMs_ = nowMs;
    return false;
}

// The frame just completed is, byte for byte, the one the host wrote last.
bool ProtocolFramer::isEcho() const {
    return sentLength_ != 0 && expected_ == sentLength_ && !damaged_ &&
           std::equal(sent_.begin(), sent_.begin() + static_cast<long>(sentLength_), block_.receiveBuffer.begin());
}

// Whether the frame just completed may be the answer to the frame written. A
// damaged one may: the controller asks again for what it spoiled.
bool ProtocolFramer::canBeReply() const {
    if (damaged_) return true;
    const ReceiveBuffer& buf = block_.receiveBuffer;
    return buf[codeOffset(extended_)] != kStatusCode || expected_ >= smallestFrameSize(extended_) + kStatusDataMin;
}

// Hands the frame in the buffer over, or drops it (an echo, a surplus "poll
// now"). False when the owner is going away.
bool ProtocolFramer::complete(NotificationSink& sink, int64_t nowMs) {
    const ReceiveBuffer& buf = block_.receiveBuffer;
    // Every frame that came goes to the capture, an echo and a "poll now" merged
    // below too: the capture is the evidence of what the line carried.
    if (FrameTap* tap = block_.frameTap.load()) tap->captureFrame(buf.data(), expected_, false);
    const bool damaged = damaged_;
    const bool echo = isEcho();
    const bool pollNow = !echo && soundPollNow();
    const bool reply = !echo && !pollNow && canBeReply();
    received_ = 0;
    expected_ = 0;
    damaged_ = false;
    block_.replyAnnounced.store(0);
    if (echo) {
        // The echo of the frame written comes first on an echoing line; its reply follows.
        sentLength_ = 0;
        block_.echoes.fetch_add(1);
        return true;
    }
    if (pollNow && surplusPollNow(nowMs)) {
        block_.pollNowsMerged.fetch_add(1);
        return true;
    }
    block_.receiveDamaged.store(damaged);
    block_.receiveExtended.store(extended_);
    // The first frame that can answer the one written is taken as its reply, in
    // either mode; a "poll now" answers nothing, and in interrupt mode a frame
    // may also come unasked.
    const bool awaited = reply && block_.awaitingReply.exchange(false);
    if (awaited) sentLength_ = 0;
    block_.receiveAwaited.store(awaited);
    // The owner reads the buffer while the reader waits here; a frame behind
    // this one in the chunk is collected afterwards.
    return sink.deliver(Notification::ReplyReady);
}

void ProtocolFramer::feed(const uint8_t* bytes, const bool* damaged, size_t n, NotificationSink& sink, int64_t nowMs) {
    if (n == 0) return;
    ReceiveBuffer& buf = block_.receiveBuffer;
    // Read again after every hand-over: a frame delivered earlier in this chunk may have switched it.
    bool interrupt = block_.interruptMode.load();
    // Polling: only the reply to the frame just written is collected.
    if (!interrupt && !block_.awaitingReply.load()) return;
    block_.lastByteMs.store(nowMs);
    // The work per byte stays a few comparisons: a flood at the speed of a
    // pseudo-terminal costs no more than the reading itself. Counts are added
    // once per chunk and before each hand-over.
    uint32_t noise = 0;
    auto countNoise = [&] {
        if (noise != 0) block_.noiseBytes.fetch_add(noise);
        noise = 0;
    };
    for (size_t i = 0; i < n; ++i) {
        block_.captureList.append(bytes[i]);
        if (received_ == 0) {
            if (bytes[i] != kStx) {
                ++noise;
                continue;
            }
            // A frame is collected in the layout the link was in at its STX; a
            // frame delivered before it may have changed the mode.
            extended_ = block_.extendedMode.load();
        }
        damaged_ = damaged_ || damaged[i];
        buf[received_++] = bytes[i];
        if (expected_ == 0) {
            if (received_ >= lengthFieldEnd(extended_)) takeHeader();
            continue;
        }
        if (received_ < expected_) continue;
        countNoise();
        if (!complete(sink, nowMs)) return;
        interrupt = block_.interruptMode.load();
        if (!interrupt && !block_.awaitingReply.load()) return;
    }
    countNoise();
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

void ReceiveFramers::onCommandWritten(const uint8_t* frame, size_t length, NotificationSink& sink) {
    switch (follow()) {
        case ReceiveMode::Protocol:
            protocol_.onCommandWritten(frame, length);
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
