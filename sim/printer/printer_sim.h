#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/server_runner.h"

namespace halvek::sim {

// A simulated ticket printer on the master side of a pseudo-terminal: the
// host opens the slave path as it opens the printer's COM port. Every element
// received is decoded and recorded. Stalled, it stops reading, as a printer
// out of paper does: the host's writes then back up and, in the end, block.
class PrinterSim {
  public:
    PrinterSim() = default;
    ~PrinterSim();
    PrinterSim(const PrinterSim&) = delete;
    PrinterSim& operator=(const PrinterSim&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    const std::string& devicePath() const { return runner_.devicePath(); }

    // Each decoded element as it arrives (from the printer's thread).
    void setSink(std::function<void(const std::string&)> sink);
    void setStalled(bool stalled);
    bool stalled() const { return stalled_; }
    // "stall", "read" (resume) or "clear" (forget the record); "" on success.
    std::string execute(const std::string& line);

    std::vector<std::string> elements() const;
    void clear();

  private:
    void loop();
    void wake();
    void record(const std::string& element);

    mutable std::mutex mutex_;  // guards elements_ and sink_
    std::vector<std::string> elements_;
    std::function<void(const std::string&)> sink_;
    std::atomic<bool> stalled_{false};
    ServerRunner runner_;  // last: its thread stops before the rest goes
};

}  // namespace halvek::sim
