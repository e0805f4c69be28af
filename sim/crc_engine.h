#pragma once

#include <cstdint>
#include <optional>

#include "sim_data.h"

namespace halvek::sim {

// The unit's program checksum: "Run CRC 16/32" starts it over the program
// image with the host's polynomial and seed, "Read CRC 16/32" reads it. A unit
// that takes its time (busyMs) leaves reads unanswered until it is done.
class CrcEngine {
  public:
    explicit CrcEngine(int busyMs = 0);

    void run16(uint16_t polynomial, uint16_t seed, int64_t nowMs);
    void run32(uint32_t seed, int64_t nowMs);
    // The reply's data bytes, or nothing while the unit is still computing.
    std::optional<Bytes> read16(int64_t nowMs) const;
    std::optional<Bytes> read32(int64_t nowMs) const;

    const Bytes& programImage() const { return image_; }
    void setProgramImage(Bytes image) { image_ = std::move(image); }
    void setBusyMs(int ms) { busyMs_ = ms; }

  private:
    Bytes image_;
    int busyMs_;
    int64_t readyAt_ = 0;
    uint16_t result16_ = 0;
    uint32_t result32_ = 0;
};

// The program every simulated unit holds: 64 KiB of fixed pseudo-random bytes.
Bytes defaultProgramImage();

}  // namespace halvek::sim
