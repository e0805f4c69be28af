#include "server_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace halvek::sim {

bool ServerRunner::start(std::function<void()> serve, std::string* error) {
    if (running_) return true;
    PtyEndpoint pty;
    if (!openPtyEndpoint(pty, error)) return false;
    pty_ = pty;
    running_ = true;
    thread_ = std::thread(std::move(serve));
    return true;
}

void ServerRunner::stop() {
    if (!running_.exchange(false)) return;
    wake();
    thread_.join();
    if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
    linkPath_.clear();
    ::close(pty_.master);
    ::close(pty_.slave);
    ::close(pty_.wake);
    pty_.master = pty_.slave = pty_.wake = -1;
}

void ServerRunner::wake() const {
    if (pty_.wake < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(pty_.wake, &one, sizeof one);
}

void ServerRunner::clearWake() const {
    uint64_t v;
    [[maybe_unused]] ssize_t r = ::read(pty_.wake, &v, sizeof v);
}

bool ServerRunner::linkTo(const std::string& path, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error) *error = path + " exists and is not a symbolic link: left alone";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(pty_.devicePath.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot link " + path + ": " + std::strerror(errno);
        return false;
    }
    linkPath_ = path;
    return true;
}

}  // namespace halvek::sim
