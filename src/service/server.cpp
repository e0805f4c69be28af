#include "service/server.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace halvek::service {

struct Server::Client {
    int fd = -1;
    uid_t uid = static_cast<uid_t>(-1);
    std::string name;
    Role role = Role::Observer;
    bool watching = false;
    bool closing = false;  // sends what it has, reads no more, then goes
    bool dead = false;
    LineSplitter splitter;
    std::string out;
    size_t outSent = 0;
    short watched = POLLIN;  // the events fds() gave for it when they last changed
};

namespace {

int64_t wallNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string sysError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool fillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

}  // namespace

Server::Server(ServiceBackend& backend, ServerOptions options, Log log)
    : backend_(backend), options_(std::move(options)), log_(std::move(log)) {}

Server::~Server() {
    for (auto& c : clients_) ::close(c->fd);
    if (listener_ >= 0) ::close(listener_);
    if (ownsPath_) ::unlink(options_.path.c_str());
}

std::string Server::listen() {
    const std::string& path = options_.path;
    sockaddr_un addr;
    if (!fillAddress(path, addr)) return "socket " + path + ": the path is empty or too long";
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return "socket " + path + ": the path exists and is not a socket";
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) return sysError("socket " + path);
        const bool live = ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(probe);
        if (live) return "socket " + path + ": in use by a running daemon";
        // Left by a daemon that did not end cleanly: nobody answers on it.
        if (::unlink(path.c_str()) != 0) return sysError("socket " + path + ": cannot replace the stale socket");
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return sysError("socket " + path);
    // Never world-writable, not even for the moment between bind and chmod.
    const mode_t old = ::umask(0117);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::umask(old);
    if (bound != 0) {
        const std::string e = sysError("socket " + path);
        ::close(fd);
        return e;
    }
    ownsPath_ = true;
    listener_ = fd;
    ++fdsChanges_;
    if (::chmod(path.c_str(), 0660) != 0) return sysError("socket " + path + ": chmod");
    if (options_.group && ::chown(path.c_str(), static_cast<uid_t>(-1), *options_.group) != 0)
        return sysError("socket " + path + ": cannot give it group " + std::to_string(*options_.group));
    if (::listen(fd, 64) != 0) return sysError("socket " + path + ": listen");
    return "";
}

std::string Server::adopt(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return sysError("activated socket");
    listener_ = fd;
    ++fdsChanges_;
    return "";
}

short Server::eventsOf(const Client& c) {
    short events = c.closing ? 0 : POLLIN;
    if (c.outSent < c.out.size()) events = static_cast<short>(events | POLLOUT);
    return events;
}

void Server::noteEvents(Client& c) {
    const short now = eventsOf(c);
    if (now == c.watched) return;
    c.watched = now;
    ++fdsChanges_;
}

std::vector<pollfd> Server::fds() const {
    std::vector<pollfd> out;
    if (listener_ >= 0) out.push_back({listener_, POLLIN, 0});
    for (const auto& c : clients_) out.push_back({c->fd, eventsOf(*c), 0});
    return out;
}

Server::Client* Server::find(int fd) {
    for (auto& c : clients_)
        if (c->fd == fd && !c->dead) return c.get();
    return nullptr;
}

void Server::handle(const pollfd& ready) {
    if (ready.fd == listener_ && listener_ >= 0) {
        if (ready.revents & POLLIN) acceptAll();
        return;
    }
    Client* c = find(ready.fd);
    if (!c) return;
    if (ready.revents & POLLOUT) writeTo(*c);
    if (!c->dead && (ready.revents & (POLLIN | POLLHUP | POLLERR))) readFrom(*c);
    reap();
}

void Server::runOnce(int timeoutMs) {
    std::vector<pollfd> set = fds();
    const int n = ::poll(set.data(), set.size(), timeoutMs);
    if (n <= 0) return;
    for (const pollfd& p : set)
        if (p.revents) handle(p);
}

void Server::acceptAll() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
                log_(sysError("socket " + options_.path + ": accept"));
            return;
        }
        auto c = std::make_unique<Client>();
        c->fd = fd;
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) c->uid = cred.uid;
        c->name = "client " + std::to_string(fd);
        clients_.push_back(std::move(c));
        ++fdsChanges_;
        send(*clients_.back(), versionMessage(options_.release, options_.boot, options_.device));
    }
}

void Server::readFrom(Client& c) {
    char buf[16384];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0) {
            c.dead = true;  // the client went
            break;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) c.dead = true;
            break;
        }
        c.splitter.feed(buf, static_cast<size_t>(n));
        std::string line;
        for (;;) {
            const LineSplitter::Result r = c.splitter.next(line);
            if (r == LineSplitter::Result::NeedMore) break;
            if (r == LineSplitter::Result::Overlong) {
                send(c, errorMessage({}, err::BadRequest,
                                     "request longer than " + std::to_string(kMaxRequestLine) + " bytes"));
                log_(c.name + " dropped: request line longer than " + std::to_string(kMaxRequestLine) + " bytes");
                c.closing = true;
                break;
            }
            serve(c, line);
            if (c.dead || c.closing) break;
        }
        if (c.dead || c.closing) break;
    }
    if (c.closing && c.outSent >= c.out.size()) c.dead = true;
    noteEvents(c);
}

void Server::writeTo(Client& c) {
    while (c.outSent < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                log_(c.name + " dropped: " + std::strerror(errno));
                c.dead = true;
            }
            break;
        }
        c.outSent += static_cast<size_t>(n);
    }
    if (c.outSent == c.out.size()) {
        c.out.clear();
        c.outSent = 0;
        if (c.closing) c.dead = true;
    } else if (c.outSent > (1u << 16)) {
        c.out.erase(0, c.outSent);
        c.outSent = 0;
    }
    noteEvents(c);
}

void Server::send(Client& c, const std::string& line) {
    if (c.dead) return;
    if (c.out.size() - c.outSent + line.size() > options_.queueBound) {
        drop(c, "it did not read (" + std::to_string(c.out.size() - c.outSent) + " bytes waiting)");
        return;
    }
    c.out += line;
    writeTo(c);
}

void Server::drop(Client& c, const std::string& why) {
    if (c.dead) return;
    log_(c.name + " dropped: " + why);
    ++dropped_;
    c.dead = true;
}

void Server::reap() {
    bool controllerLeft = false;
    for (auto& c : clients_) {
        if (!c->dead) continue;
        if (c->fd == controller_) {
            controller_ = -1;
            controllerLeft = true;
        }
        ::close(c->fd);
    }
    const size_t before = clients_.size();
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->dead; }),
                   clients_.end());
    if (clients_.size() != before) ++fdsChanges_;
    if (controllerLeft) {
        log_("the controller went");
        backend_.onControllerPresent(false);
    }
}

void Server::serve(Client& c, const std::string& line) {
    const ParsedRequest p = parseRequest(line);
    if (!p.ok) {
        send(c, errorMessage(p.echo, err::BadRequest, p.reason));
        return;
    }
    const Request& r = p.request;
    switch (r.command) {
        case Command::Hello:
            hello(c, r);
            return;
        case Command::Status:
            send(c, statusMessage(r.echo, backend_.status()));
            return;
        case Command::Watch:
            watch(c, r);
            return;
        default:
            controllerCommand(c, r);
            return;
    }
}

void Server::hello(Client& c, const Request& r) {
    if (!r.name.empty()) c.name = "client " + std::to_string(c.fd) + " (" + r.name + ")";
    if (r.role == Role::Observer) {
        if (c.fd == controller_) {
            controller_ = -1;
            backend_.onControllerPresent(false);
        }
        c.role = Role::Observer;
        send(c, helloMessage(r.echo, Role::Observer, {}));
        return;
    }
    if (controller_ >= 0 && controller_ != c.fd) {
        Client* old = find(controller_);
        if (!r.takeover || !old || old->uid != c.uid) {
            send(c, errorMessage(r.echo, err::ControllerTaken,
                                 old ? old->name + " is the controller" : "another client is the controller"));
            return;
        }
        // The same user takes over, say a kiosk program restarted before its old
        // connection was noticed gone: the bill in escrow keeps its controller.
        old->role = Role::Observer;
        send(*old, noticeMessage("role", "observer: the controller role was taken over by " + c.name, wallNowMs()));
        log_(c.name + " took over the controller role from " + old->name);
    }
    const bool came = controller_ < 0;
    controller_ = c.fd;
    c.role = Role::Controller;
    send(c, helloMessage(r.echo, Role::Controller, backend_.unacked()));
    if (came) {
        log_(c.name + " is the controller");
        backend_.onControllerPresent(true);
    }
}

void Server::watch(Client& c, const Request& r) {
    if (r.since) {
        const ServiceBackend::Replay replay = backend_.replayAfter(*r.since);
        if (replay.gap) send(c, gapMessage(r.echo, *r.since, replay.first));
        for (const MoneyRecord& rec : replay.records) send(c, eventMessage(rec));
    }
    c.watching = true;
    send(c, okMessage(r.echo));
}

void Server::controllerCommand(Client& c, const Request& r) {
    if (c.fd != controller_) {
        send(c, errorMessage(r.echo, err::NotController, "only the controller may " + r.echo.cmd));
        return;
    }
    switch (r.command) {
        case Command::Decide:
            switch (backend_.decide(r.episode, r.action)) {
                case ServiceBackend::DecideResult::Ok:
                    send(c, okMessage(r.echo));
                    return;
                case ServiceBackend::DecideResult::NoSuchEpisode:
                    send(c, errorMessage(r.echo, err::NoSuchEpisode,
                                         "no bill in escrow as episode " + std::to_string(r.episode)));
                    return;
                case ServiceBackend::DecideResult::AlreadyDecided:
                    send(c, errorMessage(r.echo, err::AlreadyDecided,
                                         "episode " + std::to_string(r.episode) + " was already decided"));
                    return;
                case ServiceBackend::DecideResult::Unavailable:
                    send(c, errorMessage(r.echo, err::Unavailable,
                                         "the money journal cannot be written: no bill is accepted"));
                    return;
            }
            return;
        case Command::Enable:
            backend_.enable(r.types);
            break;
        case Command::Inhibit:
            backend_.inhibit(r.on);
            break;
        case Command::Ack:
            backend_.ack(r.seq);
            break;
        default:
            break;
    }
    send(c, okMessage(r.echo));
}

void Server::publish(const MoneyRecord& record) {
    const std::string line = eventMessage(record);
    for (auto& c : clients_)
        if (c->watching) send(*c, line);
}

void Server::publishNotice(const std::string& kind, const std::string& text, int64_t timeMs) {
    const std::string line = noticeMessage(kind, text, timeMs);
    for (auto& c : clients_)
        if (c->watching) send(*c, line);
}

}  // namespace halvek::service
