#include "capture/protocol_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "capture/capture_line.h"

namespace halvek {
namespace {

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// How long a close waits for a file that has stopped taking lines.
constexpr auto kCloseGrace = std::chrono::seconds(1);

}  // namespace

ProtocolCapture::ProtocolCapture(Clock clock) : clock_(clock ? std::move(clock) : Clock(steadyMs)) {}

ProtocolCapture::~ProtocolCapture() { close(); }

bool ProtocolCapture::open(const std::string& path, std::string* error) {
    close();
    // Non-blocking while opening, so that a FIFO nobody reads refuses at once
    // instead of hanging the window.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto writer = std::make_unique<BoundedWriter>(fd, kQueueBytes, true);
    std::lock_guard lock(mutex_);
    writer_ = std::move(writer);
    path_ = path;
    written_ = 0;
    startMs_ = clock_();
    ended_ = false;
    active_.store(true, std::memory_order_release);
    return true;
}

void ProtocolCapture::finishWriter(std::unique_ptr<BoundedWriter> writer, std::string* reason) {
    if (!writer) return;
    const bool complete = writer->finish(std::chrono::steady_clock::now() + kCloseGrace);
    if (complete || !reason) return;
    if (writer->failed())
        *reason = writer->error();
    else
        *reason = std::to_string(writer->unwrittenBytes()) + " bytes were not written: the file takes no more";
}

bool ProtocolCapture::close(std::string* why) {
    std::unique_ptr<BoundedWriter> writer, ended;
    {
        std::lock_guard lock(mutex_);
        writer = std::move(writer_);
        ended = std::move(endedWriter_);
        active_.store(false, std::memory_order_release);
    }
    // Outside the lock: the reader thread never waits on a slow file.
    std::string reason;
    finishWriter(std::move(ended), nullptr);
    finishWriter(std::move(writer), &reason);
    if (why) *why = reason;
    return reason.empty();
}

std::string ProtocolCapture::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

uint64_t ProtocolCapture::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

void ProtocolCapture::setLimitIndex(int index) {
    if (index < 0 || index >= static_cast<int>(capture::kLimitLabels.size())) return;
    setLimit(capture::limitForIndex(index));
}

int ProtocolCapture::limitIndex() const {
    const uint64_t n = limit() / capture::kLimitStep;
    if (n < 1) return 0;
    return static_cast<int>(std::min<uint64_t>(n, capture::kLimitLabels.size()) - 1);
}

void ProtocolCapture::onTick() {
    std::unique_ptr<BoundedWriter> writer;
    CaptureEnd end;
    std::string path, reason;
    {
        std::lock_guard lock(mutex_);
        if (!ended_ && writer_ && writer_->failed()) endLocked(CaptureEnd::WriteFailed, writer_->error());
        if (!ended_) return;
        ended_ = false;
        writer = std::move(endedWriter_);
        end = end_;
        path = endPath_;
        reason = endReason_;
    }
    // At the limit, what is queued is still written; a failed file is given up.
    finishWriter(std::move(writer), nullptr);
    if (listener_) listener_->captureEnded(end, path, reason);
}

void ProtocolCapture::endLocked(CaptureEnd end, const std::string& reason) {
    endedWriter_ = std::move(writer_);
    active_.store(false, std::memory_order_release);
    ended_ = true;
    end_ = end;
    endPath_ = path_;
    endReason_ = reason;
}

void ProtocolCapture::captureFrame(const uint8_t* frame, size_t length, bool sent) {
    std::lock_guard lock(mutex_);
    if (!writer_) return;
    if (written_ >= limit()) {
        endLocked(CaptureEnd::LimitReached, "");
        return;
    }
    line_.clear();
    capture::appendCaptureLine(line_, frame, length, sent, clock_() - startMs_);
    if (writer_->failed()) {
        endLocked(CaptureEnd::WriteFailed, writer_->error());
        return;
    }
    // A file that takes no more ends the capture here rather than leave a hole in it.
    if (!writer_->push(line_)) {
        endLocked(CaptureEnd::WriteFailed,
                  writer_->failed()
                      ? writer_->error()
                      : "the file takes no more (" + std::to_string(writer_->queuedBytes()) + " bytes waiting)");
        return;
    }
    written_ += line_.size();
}

}  // namespace halvek
