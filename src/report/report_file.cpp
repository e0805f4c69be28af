#include "report/report_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halvek {
namespace {

std::string failure(const std::string& path, const char* what, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Creates a file of its own next to path; -1 with errno set when it cannot.
int createBeside(const std::string& path, std::string& tempPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".part" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

ReportFileResult writeReportFile(const std::string& path, const std::string& bytes) {
    if (path.empty()) return {false, "no file name given for the report"};
    std::string tempPath;
    const int fd = createBeside(path, tempPath);
    if (fd < 0) return {false, failure(path, "cannot create", errno)};
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (!written || !closed) {
        ::unlink(tempPath.c_str());
        return {false, failure(path, "cannot write", written ? closeError : writeError)};
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(tempPath.c_str());
        return {false, failure(path, "cannot write", renameError)};
    }
    return {true, {}};
}

std::string proposedReportFileName(bool l8v, const std::string& serialNumber) {
    std::string serial = serialNumber;
    // A serial number typed with a slash must not propose a file in another folder.
    for (char& c : serial)
        if (c == '/') c = '_';
    return (l8v ? "L8V_" : "L8_") + serial + ".TXT";
}

}  // namespace halvek
