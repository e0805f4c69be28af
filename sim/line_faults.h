#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "sim_data.h"

namespace halvek::sim {

// Bytes that mean nothing, the same every time (bytes FROM to FROM + N of one pattern).
Bytes lineNoise(size_t n, size_t from = 0);

// The faults of the line between the unit and the host, as a scenario asks
// for them: host frames that never reach the unit, commands it refuses, and
// replies spoiled on their way out. A one-shot fault spoils one reply and is
// then gone.
class LineFaults {
  public:
    enum class Intake { Answer, Lost, Ignored, Refused };
    enum class Rule { Answer, Ignore, Refuse };

    // What becomes of a well-formed host frame with CODE (counts down a drop).
    Intake intake(uint8_t code);
    // The next COUNT frames with CODE are lost on the way in.
    void drop(uint8_t code, int count);
    // From now on frames with CODE are answered, ignored or refused as unsupported.
    void setRule(uint8_t code, Rule rule);

    // Silence: the unit hears nothing and says nothing until UNTIL (-1: until told).
    void silence(int64_t until);
    void speak();
    bool silent() const { return silent_; }
    int64_t silentUntil() const { return silent_ ? silentUntil_ : -1; }
    // Ends a timed silence that is over; true when it just ended.
    bool endSilence(int64_t now);

    // The line sends every host frame back to the host (a wiring or adapter fault).
    bool echo = false;

    // One-shot spoiling of the next reply.
    bool truncateNext = false;
    bool corruptNext = false;          // the checksum spoiled
    std::optional<unsigned> flipBit;   // bit 8 * i + k is bit k of frame byte i, checksum excluded
    std::optional<unsigned> announce;  // the length field claims this, the body is noise

    // Applies the armed one-shot faults to a reply frame; says what it did.
    Bytes shape(Bytes frame, bool extended, const std::function<void(const std::string&)>& say);

  private:
    std::map<uint8_t, int> drops_;
    std::set<uint8_t> refused_;
    std::set<uint8_t> ignored_;
    bool silent_ = false;
    int64_t silentUntil_ = -1;
};

}  // namespace halvek::sim
