#include "sim/bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halvek::sim {

bool readBoundedFile(const std::string& path, size_t limit, const char* what, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read ") + what + " " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = std::string("cannot read ") + what + " " + path + ": it is a folder";
        return false;
    }
    text.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot read ") + what + " " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        // One byte past the limit is enough to know: a device like /dev/zero is not read on.
        if (text.size() + static_cast<size_t>(n) > limit) {
            ::close(fd);
            error = std::string(what) + " " + path + " is too big (more than " + std::to_string(limit) + " bytes)";
            return false;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace halvek::sim
