#include "daemon_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/fresh_dir.h"


namespace halvek::test {

using nlohmann::json;

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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
