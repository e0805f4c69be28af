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

// Writes all of it, or says why not.
bool writeAll(int fd, const char* data, size_t size, std::string& reason) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            reason = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            reason = "nothing could be written";
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

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
    std::lock_guard lock(mutex_);
    fd_ = fd;
    path_ = path;
    written_ = 0;
    startMs_ = clock_();
    ended_ = false;
    active_.store(true, std::memory_order_release);
    return true;
}

void ProtocolCapture::closeLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    active_.store(false, std::memory_order_release);
}

void ProtocolCapture::close() {
    std::lock_guard lock(mutex_);
    closeLocked();
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
    CaptureEnd end;
    std::string path, reason;
    {
        std::lock_guard lock(mutex_);
        if (!ended_) return;
        ended_ = false;
        end = end_;
        path = endPath_;
        reason = endReason_;
    }
    if (listener_) listener_->captureEnded(end, path, reason);
}

void ProtocolCapture::captureFrame(const uint8_t* frame, size_t length, bool sent) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    if (written_ >= limit()) {
        closeLocked();
        ended_ = true;
        end_ = CaptureEnd::LimitReached;
        endPath_ = path_;
        endReason_.clear();
        return;
    }
    line_.clear();
    capture::appendCaptureLine(line_, frame, length, sent, clock_() - startMs_);
    std::string reason;
    if (!writeAll(fd_, line_.data(), line_.size(), reason)) {
        closeLocked();
        ended_ = true;
        end_ = CaptureEnd::WriteFailed;
        endPath_ = path_;
        endReason_ = reason;
        return;
    }
    written_ += line_.size();
}

}  // namespace halvek
