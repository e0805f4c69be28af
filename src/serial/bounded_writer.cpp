#include "serial/bounded_writer.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace halvek {

BoundedWriter::BoundedWriter(int fd, size_t capacityBytes, bool ownsFd)
    : fd_(fd), ownsFd_(ownsFd), capacity_(capacityBytes) {
    thread_ = std::thread([this] { run(); });
}

BoundedWriter::~BoundedWriter() { finish(Clock::now()); }

bool BoundedWriter::push(std::string_view piece) {
    {
        std::lock_guard lock(mutex_);
        if (!failed_.load(std::memory_order_relaxed) && !stopping_ &&
            queue_.size() + inFlight_ + piece.size() <= capacity_) {
            queue_.append(piece);
            changed_.notify_all();
            return true;
        }
    }
    ++refusedPieces_;
    return false;
}

bool BoundedWriter::finish(Clock::time_point deadline) {
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        changed_.wait_until(lock, deadline, [this] { return done_; });
        if (!done_) {
            // The descriptor takes nothing more: the thread waits in poll(), and is woken to end.
            abort_.store(true, std::memory_order_release);
            lock.unlock();
            waker_.wake();
        } else {
            lock.unlock();
        }
        thread_.join();
        if (ownsFd_ && fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    std::lock_guard lock(mutex_);
    return queue_.empty() && inFlight_ == 0 && !failed_.load(std::memory_order_relaxed);
}

std::string BoundedWriter::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

uint64_t BoundedWriter::unwrittenBytes() const {
    std::lock_guard lock(mutex_);
    return queue_.size() + inFlight_;
}

size_t BoundedWriter::queuedBytes() const {
    std::lock_guard lock(mutex_);
    return queue_.size() + inFlight_;
}

void BoundedWriter::run() {
    // A reader that went away is a failed write (EPIPE) of this thread, not a
    // signal that ends the whole program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::string piece;
    size_t offset = 0;
    auto fail = [this](const std::string& why) {
        std::lock_guard lock(mutex_);
        error_ = why;
        failed_.store(true, std::memory_order_release);
    };
    for (;;) {
        if (offset == piece.size()) {
            std::unique_lock lock(mutex_);
            inFlight_ = 0;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty() || abort_.load(std::memory_order_acquire)) break;
            piece.swap(queue_);
            queue_.clear();
            inFlight_ = piece.size();
            offset = 0;
        }
        // Only as much as a pipe takes at once once it has room, so that a
        // write never waits on a reader; the waker ends a wait at finish.
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {waker_.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (abort_.load(std::memory_order_acquire)) break;
        if (ready < 0) {
            fail(std::strerror(errno));
            break;
        }
        if (fds[0].revents & POLLNVAL) {
            fail("the output is closed");
            break;
        }
        if (!(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
        const size_t chunk = std::min<size_t>(piece.size() - offset, PIPE_BUF);
        const ssize_t n = ::write(fd_, piece.data() + offset, chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            fail(n < 0 ? std::strerror(errno) : "nothing could be written");
            break;
        }
        offset += static_cast<size_t>(n);
        std::lock_guard lock(mutex_);
        inFlight_ = piece.size() - offset;
    }
    std::lock_guard lock(mutex_);
    // What this thread took and did not write stays counted as unwritten.
    inFlight_ = piece.size() - offset;
    done_ = true;
    changed_.notify_all();
}

}  // namespace halvek
