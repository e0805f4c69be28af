#include "printer_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/pty_endpoint.h"
#include "ticket_decoder.h"

namespace halvek::sim {

namespace {
constexpr int kQuietMs = 100;  // text still open after this much silence is named
}

PrinterSim::~PrinterSim() { stop(); }

bool PrinterSim::start(std::string* error) {
    if (running_) return true;
    PtyEndpoint pty;
    if (!openPtyEndpoint(pty, error)) return false;
    master_ = pty.master;
    slave_ = pty.slave;
    wake_ = pty.wake;
    devicePath_ = pty.devicePath;
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void PrinterSim::stop() {
    if (!running_.exchange(false)) return;
    wake();
    thread_.join();
    ::close(master_);
    ::close(slave_);
    ::close(wake_);
    master_ = slave_ = wake_ = -1;
}

void PrinterSim::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
}

void PrinterSim::setSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

void PrinterSim::setStalled(bool stalled) {
    stalled_ = stalled;
    wake();
}

std::string PrinterSim::execute(const std::string& line) {
    if (line == "stall")
        setStalled(true);
    else if (line == "read")
        setStalled(false);
    else if (line == "clear")
        clear();
    else
        return "printer commands: stall | read | clear";
    return "";
}

std::vector<std::string> PrinterSim::elements() const {
    std::lock_guard lock(mutex_);
    return elements_;
}

void PrinterSim::clear() {
    std::lock_guard lock(mutex_);
    elements_.clear();
}

void PrinterSim::record(const std::string& element) {
    std::lock_guard lock(mutex_);
    elements_.push_back(element);
    if (sink_) sink_(element);
}

void PrinterSim::loop() {
    TicketDecoder decoder([this](const std::string& e) { record(e); });
    uint8_t buffer[512];
    while (running_) {
        // Stalled, the master is not even watched: bytes stay in the line.
        pollfd p[2] = {{wake_, POLLIN, 0}, {stalled_ ? -1 : master_, POLLIN, 0}};
        const int ready = ::poll(p, 2, kQuietMs);
        if (ready == 0) decoder.flushText();
        if (p[0].revents & POLLIN) {
            uint64_t n;
            [[maybe_unused]] ssize_t r = ::read(wake_, &n, sizeof n);
        }
        if (!stalled_ && (p[1].revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) decoder.feed(buffer, static_cast<size_t>(n));
        }
    }
}

}  // namespace halvek::sim
