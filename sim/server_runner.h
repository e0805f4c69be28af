#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "pty_endpoint.h"

namespace halvek::sim {

// What every simulated device shares: a pseudo-terminal whose slave path a
// host opens as it opens a real device, a thread that serves its master, and
// a wake-up for that thread. The serving loop runs while running() holds and
// watches wakeFd() to hear that it is asked to stop. Stops on destruction: an
// owner declares its runner last, so the thread ends before what it serves.
class ServerRunner {
  public:
    ServerRunner() = default;
    ~ServerRunner() { stop(); }
    ServerRunner(const ServerRunner&) = delete;
    ServerRunner& operator=(const ServerRunner&) = delete;

    // Creates the pseudo-terminal and runs serve() on the thread. True when
    // already running; false with the reason when no pseudo-terminal could be made.
    bool start(std::function<void()> serve, std::string* error = nullptr);
    // Wakes the loop, waits for its end, removes the link and closes the line.
    void stop();
    bool running() const { return running_.load(); }
    // Wakes the serving loop out of its wait (it reads wakeFd() to clear it).
    void wake() const;
    void clearWake() const;

    int master() const { return pty_.master; }
    int slave() const { return pty_.slave; }
    int wakeFd() const { return pty_.wake; }
    const std::string& devicePath() const { return pty_.devicePath; }
    // Makes PATH a symbolic link to the device (replacing an earlier link, never
    // a file that is not one); removed again at stop().
    bool linkTo(const std::string& path, std::string* error = nullptr);

  private:
    PtyEndpoint pty_;
    std::string linkPath_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace halvek::sim
