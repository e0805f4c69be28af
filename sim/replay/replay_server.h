#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "replay_responder.h"
#include "sim/server_runner.h"

namespace halvek::sim {

// Plays a captured unit on the master side of a pseudo-terminal: the host opens
// the slave path as it opens /dev/ttyUSB0, and every command it sends is answered
// as the trace says. Runs on its own thread.
class ReplayServer {
  public:
    explicit ReplayServer(const CaptureTrace& trace);
    ~ReplayServer();
    ReplayServer(const ReplayServer&) = delete;
    ReplayServer& operator=(const ReplayServer&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    const std::string& devicePath() const { return runner_.devicePath(); }

    // Waits as long before each answer as the captured unit took (off: answers at once).
    void setKeepTime(bool on) { keepTime_ = on; }
    void setLog(std::function<void(const std::string&)> sink);
    bool finished();
    size_t playedCount();
    size_t exchangeCount();

  private:
    void loop();
    void feed(const uint8_t* bytes, size_t n);
    void answer(const std::vector<uint8_t>& frame);
    void log(const std::string& line);

    std::mutex mutex_;  // guards responder_ and log_
    ReplayResponder responder_;
    std::function<void(const std::string&)> log_;
    std::vector<uint8_t> pending_;  // host bytes not yet a whole frame
    bool endLogged_ = false;

    std::atomic<bool> keepTime_{false};
    ServerRunner runner_;  // last: its thread stops before the rest goes
};

}  // namespace halvek::sim
