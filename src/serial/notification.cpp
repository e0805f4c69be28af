#include "serial/notification.h"

namespace halvek {

SyncMailbox::SyncMailbox(Handler handler, Poster poster) : handler_(std::move(handler)), poster_(std::move(poster)) {}

bool SyncMailbox::deliver(Notification n) {
    {
        std::unique_lock lock(mutex_);
        if (cancelled_) return false;
        value_ = n;
        pending_ = true;
    }
    cv_.notify_all();
    if (poster_) poster_();
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return !pending_ || cancelled_; });
    return !pending_;
}

void SyncMailbox::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    cv_.notify_all();
}

bool SyncMailbox::serveOne() {
    Notification n;
    {
        std::lock_guard lock(mutex_);
        // A handler that runs a nested event loop (a message box) must not be
        // handed the same notification a second time.
        if (!pending_ || cancelled_ || serving_) return false;
        n = value_;
        serving_ = true;
    }
    // The reader stays blocked in deliver() until pending_ is cleared below, so the
    // handler may read everything the reader filled in.
    if (handler_) handler_(n);
    {
        std::lock_guard lock(mutex_);
        pending_ = false;
        serving_ = false;
    }
    cv_.notify_all();
    return true;
}

bool SyncMailbox::serveUntil(std::chrono::steady_clock::time_point deadline) {
    {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_until(lock, deadline, [this] { return pending_ || cancelled_; })) return false;
    }
    return serveOne();
}

bool SyncMailbox::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

}  // namespace halvek
