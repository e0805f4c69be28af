#include "link/controller_host.h"

namespace halvek {

ControllerHost::ControllerHost(UserInterface& ui, SyncMailbox::Poster poster)
    : controller(block, stores, ui, ports),
      mailbox([this](Notification n) { controller.onNotification(n); }, std::move(poster)),
      reader_(block, mailbox) {
    reader_.start();
}

ControllerHost::~ControllerHost() { close(); }

void ControllerHost::close() {
    if (closed_) return;
    closed_ = true;
    controller.shutdown();
    reader_.stop();  // cancels the mailbox first: a blocked delivery gives up
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

}  // namespace halvek
