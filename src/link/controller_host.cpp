#include "link/controller_host.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

// Whole milliseconds until the deadline, rounded up so that the sleep does not
// end just short of it (-1: no deadline).
int msUntil(Clock::time_point deadline, Clock::time_point now) {
    if (deadline == Clock::time_point::max()) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

int soonest(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

}  // namespace

LineLoop::LineLoop(ControllerHost& host) : host_(host), line_(*host.line_) {
    if (wakeup_.fd() < 0) {
        error_ = std::string("cannot make the line loop's wake-up (eventfd): ") + std::strerror(errno);
        return;
    }
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) error_ = std::string("cannot make the poll timer (timerfd_create): ") + std::strerror(errno);
}

LineLoop::~LineLoop() {
    if (timerFd_ >= 0) ::close(timerFd_);
}

void LineLoop::startTimer(int intervalMs) {
    // Periodic: the kernel keeps the ticks on their grid, and a stall brings one
    // tick late, not a burst of them.
    intervalMs = std::max(intervalMs, 1);  // a zero period would disarm the timer
    const timespec period{intervalMs / 1000, static_cast<long>(intervalMs % 1000) * 1000000L};
    const itimerspec ticks{period, period};
    timerfd_settime(timerFd_, 0, &ticks, nullptr);
    running_ = true;
    tickDue_ = false;
}

void LineLoop::stopTimer() {
    const itimerspec off{};
    timerfd_settime(timerFd_, 0, &off, nullptr);
    running_ = false;
    tickDue_ = false;
}

int LineLoop::watch(int fd, short events, Watcher call) {
    const int id = nextWatchId_++;
    watches_.push_back({id, fd, events, std::move(call)});
    return id;
}

void LineLoop::unwatch(int id) {
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(), [id](const Watch& w) { return w.id == id; }),
                   watches_.end());
}

void LineLoop::unwatch(std::span<const int> ids) {
    if (ids.empty()) return;
    std::vector<int> gone(ids.begin(), ids.end());
    std::sort(gone.begin(), gone.end());
    watches_.erase(
        std::remove_if(watches_.begin(), watches_.end(),
                       [&gone](const Watch& w) { return std::binary_search(gone.begin(), gone.end(), w.id); }),
        watches_.end());
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

PollLoop::Step LineLoop::runOnce(Clock::time_point deadline) {
    std::vector<pollfd>& fds = fds_;
    std::vector<int>& ids = ids_;
    for (;;) {
        if (host_.lineGone()) return Step::Closed;
        const auto now = Clock::now();
        if (now >= deadline) return Step::Deadline;
        if (tickDue_ && running_) {
            tickDue_ = false;
            host_.controller.onTick();
            line_.next();  // the frame placed goes out now, not after the caller's hooks
            return Step::Tick;
        }
        const LineIo::Wait w = line_.next();
        fds.clear();
        fds.push_back({wakeup_.fd(), POLLIN, 0});
        fds.push_back({running_ ? timerFd_ : -1, POLLIN, 0});
        fds.push_back({w.watch ? w.line.fd : -1, POLLIN, 0});
        ids.clear();
        for (const Watch& watch : watches_) {
            fds.push_back({watch.fd, watch.events, 0});
            ids.push_back(watch.id);
        }
        const auto gapEnd = now + std::chrono::milliseconds(w.timeoutMs);
        const int r = ::poll(fds.data(), fds.size(), soonest(msUntil(deadline, now), w.timeoutMs));
        // A signal: whatever it set is for the caller to look at.
        if (r < 0) return errno == EINTR ? Step::Woken : Step::Deadline;
        bool woken = false, replied = false;
        if (fds[0].revents & POLLIN) {
            wakeup_.drain();
            woken = true;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t expirations = 0;
            if (::read(timerFd_, &expirations, sizeof expirations) > 0) tickDue_ = true;
        }
        if (fds[2].revents) {
            const uint64_t before = host_.direct_.delivered();
            line_.onReady(w, fds[2].revents);
            line_.next();  // what the handler placed goes out before anything else
            replied = host_.direct_.delivered() != before;
        } else if (w.timeoutMs >= 0 && w.gap && Clock::now() >= gapEnd) {
            line_.onGap();
        }
        for (size_t i = 0; i < ids.size(); ++i)
            if (fds[3 + i].revents) {
                serve(ids[i], fds[3 + i].revents);
                woken = true;
            }
        if (replied) return Step::Reply;
        if (woken) return Step::Woken;
    }
}

}  // namespace halvek
