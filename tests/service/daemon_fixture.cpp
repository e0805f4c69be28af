#include "daemon_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/fresh_dir.h"

extern char** environ;

namespace halvek::test {

using nlohmann::json;

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

pid_t spawnProcess(const std::vector<std::string>& args, const std::string& errFile, int in, int out) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) posix_spawn_file_actions_adddup2(&fa, in, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&fa, out, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int failed = posix_spawn(&child, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return failed ? -1 : child;
}

void DaemonFixture::SetUp() {
    dir = freshDir("halvekd-");
    socket = dir + "/halvekd.sock";
    journal = dir + "/journal";
}

void DaemonFixture::startOn(const std::string& port, std::vector<std::string> extra) {
    std::vector<std::string> args = {HALVEKD_PATH, "--port", port,        "--interval", "100",
                                     "--socket",   socket,   "--journal", journal};
    args.insert(args.end(), extra.begin(), extra.end());
    pid = spawnProcess(args, dir + "/stderr");
    ASSERT_GT(pid, 0) << HALVEKD_PATH;
    ASSERT_TRUE(waitUntil([this] { return Client(socket).connected(); })) << fileText(dir + "/stderr");
}

void DaemonFixture::stop() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
}

void DaemonFixture::killHard() {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
}

int DaemonFixture::runToEnd(const std::vector<std::string>& args, const std::string& errFile, std::string* err) {
    std::vector<std::string> all = {HALVEKD_PATH};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t child = spawnProcess(all, errFile);
    int status = 0;
    ::waitpid(child, &status, 0);
    *err = fileText(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::unique_ptr<Client> DaemonFixture::controller() {
    auto c = std::make_unique<Client>(socket);
    EXPECT_EQ(c->next()["class"], "VERSION");
    EXPECT_EQ(c->ask({{"cmd", "hello"}, {"name", "kiosk"}, {"role", "controller"}})["class"], "HELLO");
    EXPECT_EQ(c->ask({{"cmd", "watch"}})["class"], "OK");
    return c;
}

std::unique_ptr<Client> DaemonFixture::observer(std::optional<uint64_t> since) {
    auto c = std::make_unique<Client>(socket);
    EXPECT_EQ(c->next()["class"], "VERSION");
    EXPECT_EQ(c->ask({{"cmd", "hello"}, {"role", "observer"}})["class"], "HELLO");
    json w = {{"cmd", "watch"}};
    if (since) w["since"] = *since;
    c->send(w);
    return c;
}

}  // namespace halvek::test
