#include "replay_server.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "protocol/frame.h"
#include "serial/comm_block.h"

namespace halvek::sim {
namespace {

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

}  // namespace

ReplayServer::ReplayServer(const CaptureTrace& trace) : responder_(trace) {}

ReplayServer::~ReplayServer() { stop(); }

void ReplayServer::setLog(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    log_ = std::move(sink);
}

void ReplayServer::log(const std::string& line) {
    if (log_) log_(line);
}

bool ReplayServer::finished() {
    std::lock_guard lock(mutex_);
    return responder_.finished();
}

size_t ReplayServer::playedCount() {
    std::lock_guard lock(mutex_);
    return responder_.playedCount();
}

size_t ReplayServer::exchangeCount() {
    std::lock_guard lock(mutex_);
    return responder_.exchangeCount();
}

bool ReplayServer::start(std::string* error) { return runner_.start([this] { loop(); }, error); }

void ReplayServer::stop() { runner_.stop(); }

void ReplayServer::answer(const std::vector<uint8_t>& frame) {
    ReplayResponder::Answer a;
    {
        std::lock_guard lock(mutex_);
        a = responder_.answer(frame);
        if (!a.known)
            log("no captured answer to " + hex(frame) + ": left unanswered");
        else if (a.bytes.empty() && !a.repeated)
            log("the captured unit left " + hex(frame) + " unanswered");
        if (responder_.finished() && !endLogged_) {
            endLogged_ = true;
            log("trace played to its end (" + std::to_string(responder_.exchangeCount()) +
                " exchanges); repeating the last answers");
        }
    }
    if (a.bytes.empty()) return;
    if (keepTime_) std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint64_t>(a.delayMs, 10000)));
    size_t done = 0;
    while (done < a.bytes.size() && runner_.running()) {
        const ssize_t r = ::write(runner_.master(), a.bytes.data() + done, a.bytes.size() - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
        } else {
            pollfd p{runner_.master(), POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

// Cuts the host's bytes into frames by their length field, as the unit does.
void ReplayServer::feed(const uint8_t* bytes, size_t n) {
    pending_.insert(pending_.end(), bytes, bytes + n);
    for (;;) {
        auto stx = std::find(pending_.begin(), pending_.end(), kStx);
        pending_.erase(pending_.begin(), stx);
        if (pending_.size() < 4) return;
        const bool extended = pending_[1] == 0x00;
        const size_t length = extended ? static_cast<size_t>(pending_[2]) * 256 + pending_[3] : pending_[1];
        if (length < smallestFrameSize(extended) || length > kTransmitBufferSize) {
            pending_.erase(pending_.begin());
            continue;
        }
        if (pending_.size() < length) return;
        const std::vector<uint8_t> frame(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
        answer(frame);
    }
}

void ReplayServer::loop() {
    uint8_t buf[1024];
    while (runner_.running()) {
        pollfd fds[2] = {{runner_.master(), POLLIN, 0}, {runner_.wakeFd(), POLLIN, 0}};
        // A frame that stops short is dropped after a while, as the unit would.
        if (::poll(fds, 2, pending_.empty() ? -1 : 200) == 0) {
            pending_.clear();
            continue;
        }
        if (fds[1].revents & POLLIN) runner_.clearWake();
        if (fds[0].revents & POLLIN) {
            const ssize_t r = ::read(runner_.master(), buf, sizeof buf);
            if (r > 0) feed(buf, static_cast<size_t>(r));
        }
    }
}

}  // namespace halvek::sim
