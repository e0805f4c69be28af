#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "sim_data.h"

namespace halvek::sim {

// The data memory of the simulated cassette: its identity and its bill and
// fault records. The records belong to the cassette: while it is detached the
// unit cannot reach them, so writes and erases change nothing and reads come
// back empty, and the records are there again once it is attached.
class CassetteMemory {
  public:
    // Whether the code is one of the cassette commands answer() serves.
    static bool serves(uint8_t code);

    struct Reply {
        uint8_t code;
        Bytes data;
    };
    Reply answer(uint8_t code, const Bytes& data, bool attached, const std::function<void(const std::string&)>& say);

    // A bill of this type went into the cassette (types 1 to 15 are counted).
    void countBill(int type);
    void countFault(int event);

    uint32_t id() const;

  private:
    std::array<uint16_t, 15> bills_{};
    std::array<uint8_t, 20> faults_{};
    std::array<uint8_t, 8> id_{};
};

// The unit's accept-all mode: every bill taken unchecked until the time given
// has passed or a coupon has been stacked.
class AcceptAllMode {
  public:
    void start(int64_t now, int seconds) { until_ = seconds > 0 ? now + seconds * int64_t{1000} : -1; }
    void stop() { until_ = -1; }
    bool active(int64_t now) const { return until_ >= 0 && now < until_; }

  private:
    int64_t until_ = -1;
};

}  // namespace halvek::sim
