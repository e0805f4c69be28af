#include "serial/waker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace halvek {

Waker::Waker() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Waker::~Waker() {
    if (fd_ >= 0) ::close(fd_);
}

void Waker::wake() {
    if (!needed_.load(std::memory_order_relaxed)) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(fd_, &one, sizeof one);
}

void Waker::drain() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t r = ::read(fd_, &value, sizeof value);
}

}  // namespace halvek
