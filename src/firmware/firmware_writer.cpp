#include "firmware/firmware_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <span>

#include "firmware/crc.h"

namespace halvek {

bool FirmwareWriter::failWith(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

bool FirmwareWriter::begin(const std::string& target) {
    abandon();
    target_ = target;
    error_.clear();
    crcRegister_ = 0;
    struct stat st {};
    targetExisted_ = ::stat(target.c_str(), &st) == 0;
    const size_t slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Hidden and not ending in .L8F: a left-over never passes for firmware.
    // Created with the mode any new file gets (0666 less the umask), without
    // touching the process's umask, which other threads' files depend on.
    static std::atomic<uint32_t> serial{0};
    std::random_device entropy;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".partial-%08x", entropy() ^ (serial++ * 0x9E3779B9u));
        temp_ = dir + "." + name + suffix;
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temp_.clear();
        return failWith("cannot create a temporary file beside " + target);
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        ::unlink(temp_.c_str());
        return failWith("cannot write " + temp_);
    }
    static constexpr size_t kBuffer = 1 << 16;
    std::setvbuf(file_, nullptr, _IOFBF, kBuffer);
    return true;
}

bool FirmwareWriter::write(const uint8_t* bytes, size_t n) {
    if (!file_) return false;
    if (std::fwrite(bytes, 1, n, file_) != n) return failWith("cannot write " + temp_);
    crcRegister_ = crc32Update(crcRegister_, std::span<const uint8_t>(bytes, n));
    return true;
}

bool FirmwareWriter::commit() {
    if (!file_) return false;
    const bool flushed = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    const int err = errno;
    std::fclose(file_);
    file_ = nullptr;
    if (!flushed) {
        errno = err;
        failWith("cannot write " + temp_);
        ::unlink(temp_.c_str());
        return false;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        failWith("cannot rename " + temp_ + " to " + target_);
        ::unlink(temp_.c_str());
        return false;
    }
    temp_.clear();
    return true;
}

void FirmwareWriter::abandon() {
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
    ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace halvek
