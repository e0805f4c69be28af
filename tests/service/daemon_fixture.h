// What the halvekd end-to-end suites share: a socket client that speaks the
// JSON lines, child processes with their error output in a file, and a fixture
// that runs halvekd on a line some other part of the test serves.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace halvek::test {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(20);

std::string fileText(const std::string& path);

// Waits for a condition with a deadline; false when it never held.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWait);

// Starts a program with standard output to /dev/null (or the descriptor
// `out`, when given) and standard error appended to errFile; -1 when it could not.
pid_t spawnProcess(const std::vector<std::string>& args, const std::string& errFile, int in = -1, int out = -1);

// One client of the socket: JSON lines each way.
class Client {
  public:
    using json = nlohmann::json;
    explicit Client(const std::string& path);
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    void close();
    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    void sendRaw(const std::string& bytes);
    void send(const json& j) { sendRaw(j.dump() + "\n"); }
    // The next message; null on time-out, "closed" when the daemon closed the connection.
    json next(std::chrono::milliseconds limit = kWait);
    // Reads on until a message matches; null when none came in time.
    json until(const std::function<bool(const json&)>& match, std::chrono::milliseconds limit = kWait);
    // The next money record of that kind.
    json money(const std::string& kind);
    // Sends the request with a fresh id and waits for the answer that echoes it.
    json ask(json request);

    std::vector<json> seen;  // messages passed over by until()

  private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buf_;
    int id_ = 0;
};

// halvekd as a child process on a line the derived fixture serves, its socket
// and journal in a fresh folder.
class DaemonFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { stop(); }

    // Starts halvekd on PORT at the 100 ms interval and waits until its socket answers.
    void startOn(const std::string& port, std::vector<std::string> extra = {});
    void stop();
    void killHard();
    // Runs halvekd to its end; its exit code, and its error output in *err.
    static int runToEnd(const std::vector<std::string>& args, const std::string& errFile, std::string* err);

    // A client that said hello as the controller and watches.
    std::unique_ptr<Client> controller();
    // An observer that asked to watch (from `since`); the answer is left to the test.
    std::unique_ptr<Client> observer(std::optional<uint64_t> since = {});

    std::string dir, socket, journal;
    pid_t pid = -1;
};

}  // namespace halvek::test
