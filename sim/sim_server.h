#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <string>

#include "sim/loader/download_loader.h"
#include "server_runner.h"
#include "validator_model.h"

namespace halvek::sim {

// Serves a ValidatorModel on the master side of a pseudo-terminal, so that a
// host opens the slave path exactly as it opens /dev/ttyUSB0. Runs on its own
// thread; scenario commands may come from any thread.
class SimServer {
  public:
    explicit SimServer(SimOptions options = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Creates the pseudo-terminal and starts serving. False with the reason on failure.
    bool start(std::string* error = nullptr);
    void stop();
    const std::string& devicePath() const { return runner_.devicePath(); }
    // Makes PATH a symbolic link to the device (replacing an earlier link).
    bool linkTo(const std::string& path, std::string* error = nullptr);

    // Runs one scenario command; "" on success, else the complaint. "wait MS" sleeps.
    std::string execute(const std::string& line);
    // Runs a script file line by line; false with the line and complaint on the first error.
    bool runScript(const std::string& path, std::string* error = nullptr);

    // Inserts a random enabled bill every 3 to 6 s (the bench's steady traffic).
    void setAuto(bool on);
    // Inserts a random enabled bill about every `seconds` (between 3/4 and 5/4 of
    // it), the first one a period from now; 0 inserts none.
    void setBillEvery(int seconds);
    // Inserts a random enabled bill now, as a hand at the slot would; "" when
    // it went in, else why not (the unit busy with another bill, none enabled).
    std::string insertBill();
    // Paces sent bytes at the line speed the host set (read from the pseudo-terminal).
    void setWireTime(bool on) { wireTime_ = on; }
    void setLog(std::function<void(const std::string&)> sink);
    // Sees every reply as the unit starts to send it, on the server's thread
    // (benchmarks time the line with it). Set it before start().
    void setReplyTap(std::function<void(const Bytes&)> tap) { replyTap_ = std::move(tap); }

    // Puts the unit into its download loader (as powered up with the download
    // switches set), or back to its program.
    void setLoader(bool on);
    bool inLoader() const { return inLoader_.load(); }
    template <class F>
    auto withLoader(F f) {
        std::lock_guard lock(mutex_);
        return f(loader_);
    }

    // Runs f on the model under the server's lock (tests look inside with it).
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

  private:
    void loop();
    void feed(const uint8_t* bytes, size_t n, int64_t now);
    void flush();
    void maybeInsertBill(int64_t now);
    std::string insertRandomBill(int64_t now);  // under the lock
    void wake();
    int64_t nowMs() const;
    void writeOut(const Bytes& bytes, bool pace = true);
    void serveLoader(const uint8_t* bytes, size_t n);
    void leaveLoader();  // under the lock
    int hostBaud() const;

    std::mutex mutex_;  // guards model_, pending_ and the log sink
    ValidatorModel model_;
    Bytes pending_;  // host bytes not yet a whole frame
    int64_t pendingSince_ = 0;
    std::function<void(const std::string&)> log_;
    std::function<void(const Bytes&)> replyTap_;
    DownloadLoader loader_;
    std::atomic<bool> inLoader_{false};
    bool loaderOnDownload_ = true;  // as a unit does: "Download Firmware" restarts it into its loader
    int64_t loaderRxDoneUs_ = 0;    // when the host's last bytes have fully arrived (wire time)

    bool auto_ = false;            // guarded by mutex_, as are the two below
    int64_t autoBaseMs_ = 3000;    // shortest time between two inserted bills
    int64_t autoSpreadMs_ = 3000;  // added at random, 0 to this
    std::atomic<bool> wireTime_{false};
    int64_t nextAutoBill_ = 0;
    std::mt19937 random_{20261210};
    std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    ServerRunner runner_;  // last: its thread stops before the rest goes
};

}  // namespace halvek::sim
