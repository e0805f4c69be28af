#pragma once

#include <cstdint>
#include <optional>

#include "link/link_controller.h"

namespace halvek {

// Reads the unit's program checksum back after a download: connects the
// controller, waits until the unit answers its polls, then asks "Run CRC 32"
// and "Read CRC 32" (again a few times: the unit needs a while to compute).
// Owns no timer: the owner calls onTick() every 100 ms and looks at state().
class ProgramCrcCheck {
  public:
    enum class State { Idle, Connecting, Computing, Reading, Done, Failed };
    static constexpr int kAnswerTicks = 30;  // the unit has this long to answer after connecting
    static constexpr int kComputeTicks = 8;  // before each "Read CRC 32"
    static constexpr int kReplyTicks = 15;   // for the reply of one "Read CRC 32"
    static constexpr int kReadAttempts = 4;

    explicit ProgramCrcCheck(LinkController& controller) : controller_(controller) {}
    ~ProgramCrcCheck() { restoreSeed(); }
    ProgramCrcCheck(const ProgramCrcCheck&) = delete;
    ProgramCrcCheck& operator=(const ProgramCrcCheck&) = delete;

    // Connects (the download gives the line back closed, so the port opens
    // afresh and the first frame heard is the new program's); Failed at once
    // when the port does not open.
    void start();
    void onTick();

    State state() const { return state_; }
    bool finished() const { return state_ == State::Done || state_ == State::Failed; }
    // The unit's CRC_32 (seed 0) of its program, once Done.
    uint32_t crc32() const { return crc_; }

  private:
    void read();
    // "Run CRC 32" takes its seed from the CRC page's store when it is built:
    // the check lends it 0 until the frame is built, then gives the page its own back.
    void restoreSeed();

    LinkController& controller_;
    State state_ = State::Idle;
    int ticks_ = 0;
    int attempts_ = 0;
    uint32_t repliesBefore_ = 0;
    uint32_t crc_ = 0;
    std::optional<uint32_t> pageSeed_;
};

}  // namespace halvek
