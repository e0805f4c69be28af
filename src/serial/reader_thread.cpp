#include "serial/reader_thread.h"

#include <poll.h>

namespace halvek {

void ReaderThread::start() {
    if (thread_.joinable()) return;
    block_.awaitingReply.store(false);
    block_.run.store(true);
    thread_ = std::thread([this] { loop(); });
}

void ReaderThread::stop() {
    if (!thread_.joinable()) return;
    block_.run.store(false);
    block_.waker.wake();
    sink_.cancel();
    thread_.join();
}

void ReaderThread::loop() {
    while (block_.run.load()) {
        const LineIo::Wait w = io_.next();
        if (!w.watch) {
            // No line to read (closed, lost, or its bytes of this window taken):
            // only the main thread can change that, and it wakes us.
            pollfd p{block_.waker.fd(), POLLIN, 0};
            if (::poll(&p, 1, w.timeoutMs) > 0) block_.waker.drain();
            continue;
        }
        pollfd fds[2] = {{w.line.fd, POLLIN, 0}, {block_.waker.fd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, w.timeoutMs);
        if (r < 0) continue;  // EINTR: look again
        if (r == 0) {
            if (w.gap) io_.onGap();
            continue;
        }
        if (fds[1].revents & POLLIN) block_.waker.drain();
        io_.onReady(w, fds[0].revents);
    }
}

}  // namespace halvek
