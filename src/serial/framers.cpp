#include "serial/framers.h"

#include "serial/frame_layout.h"

namespace halvek {

void ProtocolFramer::reset() {
    received_ = 0;
    expected_ = 0;
    discarding_ = false;
}

void ProtocolFramer::feed(const uint8_t* chunk, size_t n, NotificationSink& sink) {
    const bool interrupt = block_.interruptMode.load();
    const bool extended = block_.extendedMode.load();
    const size_t smallest = smallestFrameSize(extended);
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
            expected_ = announcedLength(buf.data(), extended);
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
            sink.deliver(Notification::ReplyReady);
            return;  // the rest of the chunk is dropped
        }
    }
}

void DownloadFramer::onCommandWritten(NotificationSink& sink) {
    received_ = 0;
    if (block_.downloadStep.load() == kSilentStep) sink.deliver(Notification::TransferDone);
}

void DownloadFramer::feed(const uint8_t* chunk, size_t n, NotificationSink& sink) {
    ReceiveBuffer& buf = block_.receiveBuffer;
    for (size_t i = 0; i < n; ++i) {
        if (received_ >= buf.size()) return;  // nothing the loader sends is this long
        buf[received_++] = chunk[i];
        const size_t want = block_.downloadReplyLength.load();
        if (received_ > 1 && received_ == want) {
            block_.downloadReplyLength.store(0);
            sink.deliver(Notification::TransferDone);
            received_ = 0;
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
        (toB ? up.blockB : up.blockA)[received_++] = chunk[i];
        if (received_ == UploadBuffers::kBlockSize) {
            up.blockToggle.store(!toB);
            received_ = 0;
            sink.deliver(Notification::BlockReady);
        }
    }
}

}  // namespace halvek
