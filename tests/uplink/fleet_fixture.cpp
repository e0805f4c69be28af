#include "uplink/fleet_fixture.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace halvek::uplink::test {

using nlohmann::json;
using namespace std::chrono_literals;

TempDir::TempDir() {
    char name[] = "/tmp/halvek-uplink-test-XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

void Process::start(const std::vector<std::string>& argv, const std::string& stderrFile) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int err = ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, 2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
}

void Process::kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    if (signal == SIGKILL) waitExit(10s);
}

bool Process::running() {
    if (pid_ <= 0) return false;
    return ::waitpid(pid_, nullptr, WNOHANG) == 0;
}

int Process::waitExit(std::chrono::milliseconds deadline) {
    if (pid_ <= 0) return -1;
    int status = 0;
    int result = -1;
    waitUntil(
        [&] {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return r != 0;
        },
        deadline);
    if (result != -1) pid_ = -1;
    return result;
}

std::vector<std::string> uplinkArgs(const TempDir& dir, const std::string& socket, int port,
                                    const std::vector<std::string>& extra, const std::string& kiosk) {
    const std::string config = dir.file("none.conf");
    std::ofstream(config) << "# nothing\n";
    std::vector<std::string> argv = {HALVEK_UPLINK_BIN,
                                     "--config",
                                     config,
                                     "--socket",
                                     socket,
                                     "--broker",
                                     "127.0.0.1:" + std::to_string(port),
                                     "--site",
                                     "lab",
                                     "--kiosk",
                                     kiosk,
                                     "--state",
                                     dir.file(kiosk + ".state")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

Broker::Broker(const TempDir& dir, int port, const std::string& passwordFile, const std::string& extra)
    : config_(dir.file("mosquitto-" + std::to_string(port) + ".conf")), log_(dir.file("mosquitto.log")), port_(port) {
    std::ofstream conf(config_);
    conf << "listener " << port << " 127.0.0.1\n"
         << "persistence false\n"
         << "log_dest stderr\n";
    if (passwordFile.empty())
        conf << "allow_anonymous true\n";
    else
        conf << "allow_anonymous false\npassword_file " << passwordFile << "\n";
    if (::getuid() == 0) conf << "user root\n";
    conf << extra;
}

void Broker::start() {
    process_.start({"/usr/sbin/mosquitto", "-c", config_}, log_);
    const bool up = waitUntil(
        [&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(port_));
            const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            return ok;
        },
        10s);
    if (!up) throw std::runtime_error("mosquitto did not start; see " + log_);
}

FakeService::FakeService(std::string path) : path_(std::move(path)) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path_.c_str(), sizeof a.sun_path - 1);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 8) != 0)
        throw std::runtime_error("cannot listen on " + path_);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { loop(); });
}

FakeService::~FakeService() {
    stop_ = true;
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::unlink(path_.c_str());
}

void FakeService::add(int count) {
    {
        std::lock_guard lock(mutex_);
        count_ += static_cast<uint64_t>(count);
    }
    (void)!::write(wake_[1], "x", 1);
}

void FakeService::hold(bool on) {
    {
        std::lock_guard lock(mutex_);
        held_ = on;
    }
    (void)!::write(wake_[1], "x", 1);
}

std::string FakeService::record(uint64_t seq) const {
    return json{{"class", "EVENT"}, {"seq", seq},    {"kind", "stacked"}, {"episode", seq},
                {"type", 3},        {"value", 2000}, {"currency", "EUR"}, {"time", "2026-12-10T12:40:01.123Z"}}
               .dump() +
           "\n";
}

void FakeService::serve(Client& c, const std::string& line) {
    const json req = json::parse(line, nullptr, false);
    const std::string cmd = req.is_object() ? req.value("cmd", "") : "";
    if (cmd == "hello") {
        c.out += R"({"class":"HELLO","role":"observer","unacked":[]})"
                 "\n";
    } else if (cmd == "status") {
        std::lock_guard lock(mutex_);
        c.out += json{{"class", "STATUS"},    {"link", "unit answering"}, {"state", "idle"},
                      {"enabled", {1, 2, 3}}, {"escrow", nullptr},        {"credit", 0},
                      {"seq", count_}}
                     .dump() +
                 "\n";
    } else if (cmd == "watch") {
        std::lock_guard lock(mutex_);
        for (uint64_t s = req.value("since", uint64_t{0}) + 1; s <= count_; ++s) c.out += record(s);
        c.out += R"({"class":"OK"})"
                 "\n";
        c.live = true;
    }
}

void FakeService::loop() {
    std::vector<Client> clients;
    while (!stop_) {
        bool held;
        {
            std::lock_guard lock(mutex_);
            held = held_;
            // Records added since the last round go to the live watchers.
            for (; sentLive_ < count_; ++sentLive_)
                for (Client& c : clients)
                    if (c.live) c.out += record(sentLive_ + 1);
        }
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listen_, static_cast<short>(held ? 0 : POLLIN), 0}};
        for (Client& c : clients) fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        ::poll(fds.data(), fds.size(), 200);
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            const short re = fds[i + 2].revents;
            bool gone = false;
            if (re & (POLLIN | POLLHUP | POLLERR)) {
                char buf[4096];
                const ssize_t n = ::read(c.fd, buf, sizeof buf);
                if (n <= 0)
                    gone = true;
                else
                    c.in.append(buf, static_cast<size_t>(n));
                size_t nl;
                while ((nl = c.in.find('\n')) != std::string::npos) {
                    serve(c, c.in.substr(0, nl));
                    c.in.erase(0, nl + 1);
                }
            }
            if (!gone && (re & POLLOUT) && !c.out.empty()) {
                const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
                if (n > 0)
                    c.out.erase(0, static_cast<size_t>(n));
                else if (n < 0 && errno != EAGAIN)
                    gone = true;
            }
            if (gone) {
                ::close(c.fd);
                clients.erase(clients.begin() + static_cast<long>(i));
                fds.erase(fds.begin() + static_cast<long>(i) + 2);
                --i;
            }
        }
        // Taken after the clients polled above, whose revents are indexed by position.
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                ++connections_;
                clients.push_back({fd, "",
                                   R"({"class":"VERSION","release":"1.2","proto":1,"boot":"b","device":"sim"})"
                                   "\n"});
            }
        }
    }
    for (Client& c : clients) ::close(c.fd);
}

Subscriber::Subscriber(int port, MoneyHook hook) : hook_(std::move(hook)) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_subscribe_callback_set(client_, onSubscribe);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    // The first connect may come before the uplink's; later ones are made by the loop.
    mosquitto_connect_async(client_, "127.0.0.1", port, 10);
    mosquitto_loop_start(client_);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

void Subscriber::onConnect(mosquitto* m, void*, int rc) {
    if (rc == 0) mosquitto_subscribe(m, nullptr, "halvek/v1/#", 1);
}

void Subscriber::onSubscribe(mosquitto*, void* obj, int, int, const int*) {
    ++static_cast<Subscriber*>(obj)->subscriptions_;
}

void Subscriber::onMessage(mosquitto*, void* obj, const mosquitto_message* msg) {
    auto* self = static_cast<Subscriber*>(obj);
    const std::string topic = msg->topic;
    const std::string payload(static_cast<const char*>(msg->payload), static_cast<size_t>(msg->payloadlen));
    const std::string leaf = topic.substr(topic.rfind('/') + 1);
    const json j = leaf == "money" ? json::parse(payload, nullptr, false) : json();
    const bool good =
        j.is_object() && j.contains("seq") && j["seq"].is_number_unsigned() && !j.value("kind", "").empty();
    if (good && self->hook_) {
        const std::string kioskTopic = topic.substr(0, topic.rfind('/'));
        self->hook_(kioskTopic.substr(kioskTopic.rfind('/') + 1), j["seq"].get<uint64_t>());
    }
    std::lock_guard lock(self->mutex_);
    self->last_[leaf] = payload;
    if (leaf != "money") return;
    if (!good) {
        ++self->badMoney_;
        return;
    }
    const auto seq = j["seq"].get<uint64_t>();
    const std::string identity = j["kind"].dump() + " " + j.value("episode", json()).dump();
    const auto [at, fresh] = self->identity_.emplace(seq, identity);
    if (!fresh && at->second != identity) ++self->clashes_;
    self->seqs_.insert(seq);
}

std::set<uint64_t> Subscriber::moneySeqs() {
    std::lock_guard lock(mutex_);
    return {seqs_.begin(), seqs_.end()};
}

size_t Subscriber::moneyMessages() {
    std::lock_guard lock(mutex_);
    return seqs_.size() + badMoney_;
}

std::string Subscriber::last(const std::string& leaf) {
    std::lock_guard lock(mutex_);
    const auto it = last_.find(leaf);
    return it == last_.end() ? "" : it->second;
}

}  // namespace halvek::uplink::test
