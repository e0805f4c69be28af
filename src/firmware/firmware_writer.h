#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace halvek {

// Writes a firmware file through a temporary file beside the target, so that
// a transfer that breaks off never leaves a partial file that looks like a
// firmware file: the target appears (or is replaced) only on commit().
class FirmwareWriter {
  public:
    FirmwareWriter() = default;
    ~FirmwareWriter() { abandon(); }
    FirmwareWriter(const FirmwareWriter&) = delete;
    FirmwareWriter& operator=(const FirmwareWriter&) = delete;

    bool begin(const std::string& target);
    bool write(const uint8_t* bytes, size_t n);
    // Flushes to the disk and renames the temporary file over the target.
    bool commit();
    // Removes the temporary file; the target stays as it was.
    void abandon();

    bool active() const { return file_ != nullptr; }
    bool targetExisted() const { return targetExisted_; }
    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temp_; }
    const std::string& error() const { return error_; }
    // CRC_32 (seed 0) of everything written so far.
    uint32_t crc32() const { return ~crcRegister_; }

  private:
    bool failWith(const std::string& what);

    std::FILE* file_ = nullptr;
    std::string target_, temp_, error_;
    bool targetExisted_ = false;
    uint32_t crcRegister_ = 0;
};

}  // namespace halvek
