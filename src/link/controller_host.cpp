#include "link/controller_host.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace halvek {

ControllerHost::ControllerHost(UserInterface& ui, SyncMailbox::Poster poster)
    : ControllerHost(ui, LineDriver::ReaderThread, std::move(poster)) {}

ControllerHost::ControllerHost(UserInterface& ui, LineDriver driver) : ControllerHost(ui, driver, {}) {}

ControllerHost::ControllerHost(UserInterface& ui, LineDriver driver, SyncMailbox::Poster poster)
    : controller(block, stores, ui, ports),
      mailbox([this](Notification n) { controller.onNotification(n); }, std::move(poster)),
      direct_([this](Notification n) { controller.onNotification(n); }) {
    if (driver == LineDriver::OwnLoop) {
        block.waker.setNeeded(false);
        block.awaitingReply.store(false);
        block.run.store(true);
        line_ = std::make_unique<LineIo>(block, direct_);
    } else {
        reader_ = std::make_unique<ReaderThread>(block, mailbox);
        reader_->start();
    }
}

ControllerHost::~ControllerHost() { close(); }

void ControllerHost::close() {
    if (closed_) return;
    closed_ = true;
    controller.shutdown();
    if (reader_) reader_->stop();  // cancels the mailbox first: a blocked delivery gives up
    block.run.store(false);
    direct_.cancel();
}

void HeadlessLoop::startTimer(int intervalMs) {
    running_ = true;
    interval_ = std::chrono::milliseconds(intervalMs);
    nextTick_ = std::chrono::steady_clock::now() + interval_;
}

PollLoop::Step HeadlessLoop::runOnce(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (host_.mailbox.cancelled()) return Step::Closed;
        if (now >= deadline) return Step::Deadline;
        if (running_ && now >= nextTick_) {
            nextTick_ += interval_;
            if (nextTick_ < now) nextTick_ = now + interval_;  // no burst of ticks after a stall
            host_.controller.onTick();
            return Step::Tick;
        }
        const auto wake = running_ ? std::min(deadline, nextTick_) : deadline;
        if (host_.mailbox.serveUntil(wake)) return Step::Reply;
    }
}

void HeadlessLoop::runUntil(std::chrono::steady_clock::time_point deadline, const std::function<void()>& after) {
    for (;;) {
        const Step step = runOnce(deadline);
        if (step == Step::Deadline || step == Step::Closed) return;
        if (after) after();
    }
}

namespace {

using Clock = std::chrono::steady_clock;

// What the set's entries carry: the wake-up, the line, or a watch's id.
constexpr uint64_t kWakeKey = 0;
constexpr uint64_t kLineKey = 1;
constexpr uint64_t kFirstWatchKey = 2;

// The sleep until the soonest of the times given (max: none), as the wait takes it.
const timespec* sleepUntil(Clock::time_point until, Clock::time_point now, timespec& ts) {
    if (until == Clock::time_point::max()) return nullptr;
    const auto left = std::max<Clock::duration>(until - now, Clock::duration::zero());
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(left);
    ts.tv_sec = static_cast<time_t>(s.count());
    ts.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - s).count());
    return &ts;
}

}  // namespace

LineLoop::LineLoop(ControllerHost& host) : host_(host), line_(*host.line_) {
    if (wakeup_.fd() < 0) {
        error_ = std::string("cannot make the line loop's wake-up (eventfd): ") + std::strerror(errno);
        return;
    }
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) {
        error_ = std::string("cannot make the line loop's event set (epoll_create1): ") + std::strerror(errno);
        return;
    }
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = kWakeKey;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeup_.fd(), &e) != 0)
        error_ = std::string("cannot watch the line loop's wake-up (epoll_ctl): ") + std::strerror(errno);
}

LineLoop::~LineLoop() {
    if (epollFd_ >= 0) ::close(epollFd_);
}

void LineLoop::startTimer(int intervalMs) {
    // The ticks keep to their grid; a stall brings one tick late, not a burst of them.
    interval_ = std::chrono::milliseconds(std::max(intervalMs, 1));
    nextTick_ = Clock::now() + interval_;
    running_ = true;
}

void LineLoop::stopTimer() { running_ = false; }

int LineLoop::watch(int fd, short events, Watcher call) {
    const int id = nextWatchId_++;
    epoll_event e{};
    e.events = static_cast<uint32_t>(events);  // POLLIN and POLLOUT are EPOLLIN and EPOLLOUT
    e.data.u64 = kFirstWatchKey + static_cast<uint64_t>(id);
    if (epollFd_ < 0 || epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &e) != 0) return -1;
    watches_.push_back({id, fd, std::move(call)});
    return id;
}

void LineLoop::unwatch(int id) {
    for (auto it = watches_.begin(); it != watches_.end(); ++it)
        if (it->id == id) {
            epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->fd, nullptr);
            watches_.erase(it);
            return;
        }
}

void LineLoop::unwatch(std::span<const int> ids) {
    if (ids.empty()) return;
    std::vector<int> gone(ids.begin(), ids.end());
    std::sort(gone.begin(), gone.end());
    std::erase_if(watches_, [&](const Watch& w) {
        if (!std::binary_search(gone.begin(), gone.end(), w.id)) return false;
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, w.fd, nullptr);
        return true;
    });
}

// A watch removed by an earlier watcher of the same wake-up is not called.
void LineLoop::serve(int id, short revents) {
    for (const Watch& w : watches_)
        if (w.id == id) {
            const Watcher call = w.call;  // the watcher may unwatch itself
            call(revents);
            return;
        }
}

// The line is in the set only while it is to be read: a hung-up line would end
// every wait at once even with no events asked for. An opening of the port is
// known by its generation, as a reopened port may get the same descriptor.
void LineLoop::followLine(const LineIo::Wait& w) {
    const int want = w.watch ? w.line.fd : -1;
    if (want == lineFd_ && (want < 0 || w.line.generation == lineGeneration_)) return;
    if (lineFd_ >= 0) epoll_ctl(epollFd_, EPOLL_CTL_DEL, lineFd_, nullptr);  // gone with its close, or still there
    lineFd_ = -1;
    if (want < 0) return;
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = kLineKey;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, want, &e) != 0 &&
        (errno != EEXIST || epoll_ctl(epollFd_, EPOLL_CTL_MOD, want, &e) != 0))
        return;  // not watched: the next wait tries again
    lineFd_ = want;
    lineGeneration_ = w.line.generation;
}

PollLoop::Step LineLoop::runOnce(Clock::time_point deadline) {
    constexpr int kMaxEvents = 64;
    epoll_event events[kMaxEvents];
    for (;;) {
        if (host_.lineGone()) return Step::Closed;
        const auto now = Clock::now();
        if (now >= deadline) return Step::Deadline;
        if (running_ && now >= nextTick_) {
            nextTick_ += interval_;
            if (nextTick_ <= now) nextTick_ = now + interval_;
            host_.controller.onTick();
            line_.next();  // the frame placed goes out now, not after the caller's hooks
            return Step::Tick;
        }
        const LineIo::Wait w = line_.next();
        followLine(w);
        auto until = deadline;
        if (running_) until = std::min(until, nextTick_);
        const auto gapEnd = w.timeoutMs >= 0 ? now + std::chrono::milliseconds(w.timeoutMs) : Clock::time_point::max();
        until = std::min(until, gapEnd);
        timespec ts{};
        const int n = epoll_pwait2(epollFd_, events, kMaxEvents, sleepUntil(until, now, ts), nullptr);
        // A signal: whatever it set is for the caller to look at.
        if (n < 0) return errno == EINTR ? Step::Woken : Step::Deadline;
        bool woken = false;
        uint32_t lineEvents = 0;
        ready_.clear();
        readyEvents_.clear();
        for (int i = 0; i < n; ++i) {
            const uint64_t key = events[i].data.u64;
            if (key == kWakeKey) {
                wakeup_.drain();
                woken = true;
            } else if (key == kLineKey) {
                lineEvents = events[i].events;
            } else {
                ready_.push_back(static_cast<int>(key - kFirstWatchKey));
                readyEvents_.push_back(static_cast<short>(events[i].events));
            }
        }
        bool replied = false;
        if (lineEvents) {
            const uint64_t before = host_.direct_.delivered();
            line_.onReady(w, static_cast<short>(lineEvents));  // EPOLLIN, EPOLLHUP, EPOLLERR are poll's bits
            line_.next();  // what the handler placed goes out before anything else
            replied = host_.direct_.delivered() != before;
        } else if (w.gap && Clock::now() >= gapEnd) {
            line_.onGap();
        }
        for (size_t i = 0; i < ready_.size(); ++i) {
            serve(ready_[i], readyEvents_[i]);
            woken = true;
        }
        if (replied) return Step::Reply;
        if (woken) return Step::Woken;
    }
}

}  // namespace halvek
