#include "printer_sim.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ticket_decoder.h"

namespace halvek::sim {

namespace {
constexpr int kQuietMs = 100;  // text still open after this much silence is named
}

PrinterSim::~PrinterSim() { stop(); }

bool PrinterSim::start(std::string* error) { return runner_.start([this] { loop(); }, error); }

void PrinterSim::stop() { runner_.stop(); }

void PrinterSim::wake() { runner_.wake(); }

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
    while (runner_.running()) {
        // Stalled, the master is not even watched: bytes stay in the line.
        pollfd p[2] = {{runner_.wakeFd(), POLLIN, 0}, {stalled_ ? -1 : runner_.master(), POLLIN, 0}};
        const int ready = ::poll(p, 2, kQuietMs);
        if (ready == 0) decoder.flushText();
        if (p[0].revents & POLLIN) runner_.clearWake();
        if (!stalled_ && (p[1].revents & POLLIN)) {
            const ssize_t n = ::read(runner_.master(), buffer, sizeof buffer);
            if (n > 0) decoder.feed(buffer, static_cast<size_t>(n));
        }
    }
}

}  // namespace halvek::sim
