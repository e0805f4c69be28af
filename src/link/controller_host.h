#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/link_controller.h"
#include "link/poll_loop.h"
#include "link/stores.h"
#include "serial/comm_block.h"
#include "serial/line_io.h"
#include "serial/notification.h"
#include "serial/port_map.h"
#include "serial/reader_thread.h"
#include "serial/waker.h"

namespace halvek {

// Who reads and writes the line: a reader thread that hands every unit over
// to the owner's thread (the window), or the owner's own loop on its one
// thread (the programs without a window: see LineLoop).
enum class LineDriver { ReaderThread, OwnLoop };

// Everything a host program holds for one validator line: the shared block,
// the stores, the controller, and what drives the line: the mailbox the reader
// thread delivers into and the reader thread itself (started at once and
// stopped safely at the end), or the line's steps for the owner's loop.
// The poster wakes the owner's loop when a notification waits in the mailbox.
class ControllerHost {
  public:
    explicit ControllerHost(UserInterface& ui, SyncMailbox::Poster poster = {});
    ControllerHost(UserInterface& ui, LineDriver driver);
    ~ControllerHost();
    ControllerHost(const ControllerHost&) = delete;
    ControllerHost& operator=(const ControllerHost&) = delete;

    // EXIT: closes the line and stops its reader (without waiting on the owner).
    void close();
    // Nothing more will come from the line: its reader is stopped.
    bool lineGone() const { return line_ ? direct_.cancelled() : mailbox.cancelled(); }
    LineDriver driver() const { return line_ ? LineDriver::OwnLoop : LineDriver::ReaderThread; }

    CommBlock block;
    Stores stores;
    PortMap ports;
    LinkController controller;
    SyncMailbox mailbox;

  private:
    friend class LineLoop;
    ControllerHost(UserInterface& ui, LineDriver driver, SyncMailbox::Poster poster);

    DirectSink direct_;
    std::unique_ptr<LineIo> line_;          // OwnLoop
    std::unique_ptr<ReaderThread> reader_;  // ReaderThread
    bool closed_ = false;
};

// A poll timer and event loop for programs without a window over a host whose
// line a reader thread drives (the tests): it ticks the controller at its
// interval and serves the mailbox in between, sleeping otherwise.
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

// The loop of a program without a window that drives the line itself, on its
// one thread: a single epoll set holds the line, a wake-up descriptor and
// whatever descriptors the program adds (a service's socket and clients), and
// the sleep ends at the next tick. A quiet poll costs one wait for the tick,
// the frame's write, one wait for the reply and its read. The set is kept
// between steps, so the kernel is not told the descriptors again on every
// wait. A frame the controller places is written before the step returns,
// what the line has is read in one call and handled at once, and nothing wakes
// between ticks while the line is quiet.
// The host must have been made with LineDriver::OwnLoop.
class LineLoop : public PollLoop {
  public:
    using Watcher = std::function<void(short revents)>;

    explicit LineLoop(ControllerHost& host);
    ~LineLoop() override;
    // Why the loop cannot run, naming the descriptor the system refused ("" when
    // it can). Without its event set the loop would never tick and the line would
    // stay silent, so its owner checks this before the first step.
    const std::string& error() const { return error_; }
    LineLoop(const LineLoop&) = delete;
    LineLoop& operator=(const LineLoop&) = delete;

    void startTimer(int intervalMs) override;
    void stopTimer() override;
    bool timerRunning() const override { return running_; }
    Step runOnce(std::chrono::steady_clock::time_point deadline) override;

    // Sleeps on fd beside the line for the poll events given (POLLIN, POLLOUT);
    // call(revents) runs on the loop's thread when it is ready, and the step
    // returns Woken. Returns an id for unwatch(), or -1 when the system refused
    // the descriptor. A watcher may add and remove watches. A descriptor is
    // watched once at a time.
    int watch(int fd, short events, Watcher call);
    void unwatch(int id);
    // Several at once (a service renewing its clients' watches).
    void unwatch(std::span<const int> ids);
    // From any thread: the sleep ends and the step returns Woken.
    void wake() { wakeup_.wake(); }
    // The wake-up descriptor, for a signal handler: writing an eight-byte 1 to
    // it is what wake() does, and write() is safe in a handler.
    int wakeFd() const { return wakeup_.fd(); }

  private:
    struct Watch {
        int id;
        int fd;
        Watcher call;
    };
    // What the set holds of the line: the descriptor of one opening of the port.
    void followLine(const LineIo::Wait& w);
    void serve(int id, short revents);

    ControllerHost& host_;
    LineIo& line_;
    Waker wakeup_;
    int epollFd_ = -1;
    std::string error_;
    bool running_ = false;
    std::chrono::milliseconds interval_{350};
    std::chrono::steady_clock::time_point nextTick_{};
    int lineFd_ = -1;  // the line's descriptor in the set, of that opening
    uint64_t lineGeneration_ = 0;
    std::vector<Watch> watches_;
    int nextWatchId_ = 1;
    // What one wake-up brought, kept between steps so that a step allocates nothing.
    std::vector<int> ready_;
    std::vector<short> readyEvents_;
};

}  // namespace halvek
