#pragma once

// A client of halvekd's socket for tests: JSON lines each way, every wait
// bounded. Not thread-safe: one thread uses one client.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace halvek::test {

// One client of the socket: JSON lines each way.
class ServiceClient {
  public:
    using json = nlohmann::json;
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kWait{20000};

    explicit ServiceClient(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~ServiceClient() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    void sendRaw(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    void send(const json& j) { sendRaw(j.dump() + "\n"); }

    // The next message; null on time-out, "closed" when the daemon closed the connection.
    json next(std::chrono::milliseconds limit = kWait) {
        const auto end = Clock::now() + limit;
        for (;;) {
            const size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                const std::string line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return json::parse(line);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return nullptr;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[65536];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return "closed";
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }
    // Reads on until a message matches; null when none came in time.
    json until(const std::function<bool(const json&)>& match, std::chrono::milliseconds limit = kWait) {
        const auto end = Clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) return nullptr;
            json m = next(left);
            if (m.is_null() || m == "closed" || match(m)) return m;
            seen.push_back(m);
        }
    }
    json money(const std::string& kind) {
        return until([&](const json& m) { return m.value("class", "") == "EVENT" && m.value("kind", "") == kind; });
    }
    json ask(json request) {
        request["id"] = ++id_;
        send(request);
        const int id = id_;
        return until([id](const json& m) { return m.contains("id") && m["id"] == id; });
    }

    std::vector<json> seen;  // messages passed over by until()

  private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buf_;
    int id_ = 0;
};

}  // namespace halvek::test
