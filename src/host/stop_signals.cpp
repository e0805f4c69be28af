#include "host/stop_signals.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "link/controller_host.h"

namespace halvek {
namespace {

volatile std::sig_atomic_t stopNoted = 0;
// The loop's wake-up descriptor (an eventfd: a write of eight bytes wakes it,
// and write() may be called from a handler).
std::atomic<int> wakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

void onStopSignal(int) {
    const int saved = errno;
    stopNoted = 1;
    if (const int fd = wakeFd.load(); fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t r = ::write(fd, &one, sizeof one);
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(LineLoop* loop) {
    stopNoted = 0;
    wakeFd.store(loop ? loop->wakeFd() : -1);
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a poll() the signal hits ends too
    ::sigaction(SIGINT, &sa, &oldInt_);
    ::sigaction(SIGTERM, &sa, &oldTerm_);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    wakeFd.store(-1);
}

bool StopSignals::requested() const { return stopNoted != 0; }

}  // namespace halvek
