#include "link/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace halvek {
namespace {

constexpr size_t kMaxPathBytes = 4096;
constexpr size_t kMaxFileBytes = kMaxPathBytes + 64;

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

std::optional<SettingsFile::PortDevice> SettingsFile::loadPortDevice() {
    lastError_.clear();
    const Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;  // no file yet: nothing was chosen
    char buf[kMaxFileBytes];
    const ssize_t n = ::pread(fd.get(), buf, sizeof buf, 0);
    if (n <= 0) return std::nullopt;
    const std::string text(buf, static_cast<size_t>(n));
    static constexpr std::string_view kKey = "Val_Port_Path:";
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(kKey, 0) != 0) continue;
        const std::string value = line.substr(kKey.size());
        const size_t eq = value.find('=');
        if (eq == std::string::npos || eq == 0 || eq > 2) break;
        const std::string number = value.substr(0, eq);
        if (number.find_first_not_of("0123456789") != std::string::npos) break;
        const int com = std::stoi(number);
        const std::string device = value.substr(eq + 1);
        if (com < 1 || device.empty() || device[0] != '/') break;
        return PortDevice{com, device};
    }
    return std::nullopt;
}

bool SettingsFile::savePortChoice(int index, const std::string& devicePath) {
    lastError_.clear();
    if (devicePath.find_first_of("\r\n") != std::string::npos || devicePath.size() > kMaxPathBytes ||
        (!devicePath.empty() && devicePath[0] != '/')) {
        lastError_ = "not a device path to keep in " + path_ + ": " + devicePath;
        return false;
    }
    char line[32];
    std::snprintf(line, sizeof line, "Val_Port_Num:%d\r\n", index);
    std::string text = line;
    if (!devicePath.empty()) text += "Val_Port_Path:" + std::to_string(index + 1) + "=" + devicePath + "\r\n";
    const Fd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        lastError_ = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (::pwrite(fd.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ::ftruncate(fd.get(), static_cast<off_t>(text.size())) != 0) {
        lastError_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
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
