#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture_trace.h"

namespace halvek::sim {

// Answers commands as the captured unit did. Each captured command, with what the
// unit sent after it, is one exchange; a command is answered by the first exchange
// not yet played that holds the same bytes, so the unit's answers to repeated
// commands (the status polls) come in their captured order, while a command the
// host sends earlier or later than the captured host did still finds its answer.
// Once a command's exchanges are all played, its last captured answer is repeated:
// the unit stays as it was last seen. A command the trace never saw gets no answer.
class ReplayResponder {
  public:
    explicit ReplayResponder(const CaptureTrace& trace);

    struct Answer {
        std::vector<uint8_t> bytes;  // what the unit sent (nothing for a command it left unanswered)
        bool known = false;          // the trace holds this command
        bool repeated = false;       // played before: the last captured answer again
        uint64_t delayMs = 0;        // how long after the command the unit's first message came
    };
    Answer answer(const std::vector<uint8_t>& command);

    size_t exchangeCount() const { return exchanges_.size(); }
    size_t playedCount() const { return played_; }
    bool finished() const { return played_ == exchanges_.size(); }
    // Messages the unit sent before the first command: nobody asked for them.
    size_t unpromptedAtStart() const { return unpromptedAtStart_; }

  private:
    struct Exchange {
        std::vector<uint8_t> command;
        std::vector<uint8_t> reply;  // every message up to the next command, one after the other
        uint64_t sentMs = 0;
        uint64_t delayMs = 0;
        bool played = false;
    };
    std::vector<Exchange> exchanges_;
    size_t cursor_ = 0;  // the first exchange not yet played
    size_t played_ = 0;
    size_t unpromptedAtStart_ = 0;
};

}  // namespace halvek::sim
