#include "uplink/service_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halvek::uplink {

bool ServiceLink::connect(const std::string& path, std::string& error) {
    close();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        error = "service socket " + path + ": the path is too long for a socket";
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = "service socket " + path + ": " + std::strerror(errno);
        return false;
    }
    // A local connect answers at once or fails; it is made non-blocking after.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        error = "service socket " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    fd_ = fd;
    buffer_.clear();
    start_ = 0;
    return true;
}

void ServiceLink::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    start_ = 0;
}

bool ServiceLink::send(const std::string& line, std::string& error) {
    const std::string data = line + "\n";
    size_t done = 0;
    int waits = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waits++ < 10) {
            // The service reads its clients all the time; a full socket for a
            // second means it is stuck, and the connection is dropped.
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        error = n < 0 ? std::strerror(errno) : "the service takes nothing";
        return false;
    }
    return true;
}

bool ServiceLink::readAvailable(std::string& error) {
    char chunk[16384];
    // At most a few chunks a call: the caller stops reading while its outbox
    // is full, and what the socket holds stays in the service's hands.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            if (buffer_.size() - start_ > kMaxLine && buffer_.find('\n', start_) == std::string::npos) {
                error = "a line longer than 1 MiB: not the service's protocol";
                return false;
            }
            continue;
        }
        if (n == 0) {
            error = "the service closed the connection";
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool ServiceLink::nextLine(std::string& line) {
    const auto nl = buffer_.find('\n', start_);
    if (nl == std::string::npos) {
        if (start_ > 0) {
            buffer_.erase(0, start_);
            start_ = 0;
        }
        return false;
    }
    line.assign(buffer_, start_, nl - start_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start_ = nl + 1;
    return true;
}

}  // namespace halvek::uplink
