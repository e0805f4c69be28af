#pragma once

#include <chrono>

#include "link/link_controller.h"
#include "link/poll_loop.h"
#include "link/stores.h"
#include "serial/comm_block.h"
#include "serial/notification.h"
#include "serial/port_map.h"
#include "serial/reader_thread.h"

namespace halvek {

// Everything a host program holds for one validator line: the shared block,
// the stores, the controller, the mailbox the reader thread delivers into and
// the reader thread itself, started at once and stopped safely at the end.
// The poster wakes the owner's loop when a notification waits in the mailbox.
class ControllerHost {
  public:
    explicit ControllerHost(UserInterface& ui, SyncMailbox::Poster poster = {});
    ~ControllerHost();
    ControllerHost(const ControllerHost&) = delete;
    ControllerHost& operator=(const ControllerHost&) = delete;

    // EXIT: closes the line and stops the reader thread (without waiting on the owner).
    void close();

    CommBlock block;
    Stores stores;
    PortMap ports;
    LinkController controller;
    SyncMailbox mailbox;

  private:
    ReaderThread reader_;
    bool closed_ = false;
};

// A poll timer and event loop for programs without a window (the console tool,
// the tests): it ticks the controller at its interval and serves the mailbox
// in between, sleeping otherwise.
class HeadlessLoop : public PollLoop {
  public:
    explicit HeadlessLoop(ControllerHost& host) : host_(host) {}
    void startTimer(int intervalMs) override;
    void stopTimer() override { running_ = false; }
    bool timerRunning() const override { return running_; }
    Step runOnce(std::chrono::steady_clock::time_point deadline) override;
    // Runs until the deadline; after() is called after every tick and every
    // handled notification (the console tool prints what happened there).
    void runUntil(std::chrono::steady_clock::time_point deadline, const std::function<void()>& after = {});

  private:
    ControllerHost& host_;
    bool running_ = false;
    std::chrono::milliseconds interval_{350};
    std::chrono::steady_clock::time_point nextTick_{};
};

}  // namespace halvek
