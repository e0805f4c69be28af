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

#include "support/child_process.h"
#include "support/service_client.h"

namespace halvek::test {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(20);

std::string fileText(const std::string& path);

// One client of the socket: JSON lines each way.
using Client = ServiceClient;

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
