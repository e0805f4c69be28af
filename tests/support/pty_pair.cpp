#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace halvek::test {

PtyPair::PtyPair() {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeMaster();
    closeSlave();
}

void PtyPair::send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (r > 0)
            done += static_cast<size_t>(r);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<uint8_t> PtyPair::receive(size_t n, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        uint8_t buf[512];
        const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

std::vector<uint8_t> PtyPair::drain(std::chrono::milliseconds quiet) {
    std::vector<uint8_t> out;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
        uint8_t buf[512];
        const ssize_t r = ::read(master_, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::closeSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace halvek::test
