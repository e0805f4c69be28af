#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace halvek {

// What the reader thread tells the main thread. The character codes are the
// ones the validator tools have always used for these hand-overs.
enum class Notification : char {
    ReplyReady = 'A',    // a protocol frame is complete in the receive buffer
    TransferDone = 'D',  // a firmware download reply is complete (or step 30 was written)
    BlockReady = 'U',    // an upload first frame or 133-byte block is complete
};

// Receives the reader thread's notifications. deliver() returns only once the
// owner has handled the notification, so the owner may read the receive buffer
// while the reader waits. cancel() is called when the reader is being stopped:
// a blocked or later deliver() must then give up at once.
class NotificationSink {
  public:
    virtual ~NotificationSink() = default;
    virtual bool deliver(Notification n) = 0;
    virtual void cancel() = 0;
};

// A one-slot synchronous mailbox: the reader posts and waits, the owner's loop
// serves. The window, the console tool and the tests all use it; they differ
// only in how the owner's loop is woken (the poster).
class SyncMailbox : public NotificationSink {
  public:
    using Handler = std::function<void(Notification)>;
    using Poster = std::function<void()>;

    explicit SyncMailbox(Handler handler, Poster poster = {});

    bool deliver(Notification n) override;
    void cancel() override;

    // Owner side: handles a waiting notification, if any. Returns true if one was handled.
    bool serveOne();
    // Owner side: waits until a notification is waiting or the deadline passes, then serves it.
    bool serveUntil(std::chrono::steady_clock::time_point deadline);
    bool cancelled() const;

  private:
    Handler handler_;
    Poster poster_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool pending_ = false;
    bool cancelled_ = false;
    bool serving_ = false;
    Notification value_ = Notification::ReplyReady;
};

// For an owner that drives the line on its own thread: a unit is handled at
// once, inside deliver(), while the receive buffer holds it.
class DirectSink : public NotificationSink {
  public:
    explicit DirectSink(SyncMailbox::Handler handler) : handler_(std::move(handler)) {}

    bool deliver(Notification n) override {
        if (cancelled_) return false;
        ++delivered_;
        if (handler_) handler_(n);
        return true;
    }
    void cancel() override { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }
    // Units handled so far.
    uint64_t delivered() const { return delivered_; }

  private:
    SyncMailbox::Handler handler_;
    bool cancelled_ = false;
    uint64_t delivered_ = 0;
};

}  // namespace halvek
