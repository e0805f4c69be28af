#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>

namespace halvek::fuzz {

// A file in memory with a path the code under test opens like any other, made
// afresh for every input so no run sees what an earlier one left.
class ScratchFile {
  public:
    explicit ScratchFile(std::span<const uint8_t> content) : fd_(::memfd_create("halvek-fuzz", MFD_CLOEXEC)) {
        if (fd_ >= 0 && !content.empty()) (void)!::write(fd_, content.data(), content.size());
    }
    ~ScratchFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }
    std::string content() const {
        std::string out;
        char buf[4096];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd_, buf, sizeof buf, at);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
            at += n;
        }
        return out;
    }

  private:
    int fd_;
};

}  // namespace halvek::fuzz
