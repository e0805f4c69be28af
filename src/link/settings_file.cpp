#include "link/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace halvek {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

bool SettingsFile::writeLine(int fd, int index) {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "Val_Port_Num:%d\r\n", index);
    if (::pwrite(fd, line, static_cast<size_t>(n), 0) != n) {
        lastError_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int SettingsFile::loadPortIndex() {
    lastError_.clear();
    const Fd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        lastError_ = "cannot open " + path_ + ": " + std::strerror(errno);
        return 0;
    }
    char head[14];
    ssize_t n = ::pread(fd.get(), head, sizeof head, 0);
    if (n < 0) {
        lastError_ = "cannot read " + path_ + ": " + std::strerror(errno);
        return 0;
    }
    if (n == 0) {
        writeLine(fd.get(), 0);
        return 0;
    }
    // Only the digit after "Val_Port_Num:" counts; anything else means the first port.
    if (n < 14 || head[13] < '0' || head[13] > '9') return 0;
    const int index = head[13] - '0';
    return index < kPorts ? index : 0;
}

bool SettingsFile::savePortIndex(int index) {
    lastError_.clear();
    const Fd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        lastError_ = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return writeLine(fd.get(), index);
}

}  // namespace halvek
