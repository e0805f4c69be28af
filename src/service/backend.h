#pragma once

#include <cstdint>
#include <vector>

#include "service/protocol.h"

namespace halvek::service {

// What the socket server needs of the rest of halvekd: the unit's state, the
// money records and the decisions. halvekd connects it to the link and to the
// settlement machine; tests put a fake behind it.
class ServiceBackend {
  public:
    virtual ~ServiceBackend() = default;

    virtual StatusView status() = 0;

    // Unavailable: an accept cannot be recorded (the money journal fails).
    enum class DecideResult { Ok, NoSuchEpisode, AlreadyDecided, Unavailable };
    // The controller's decision of an escrowed bill. Deciding again the same way is Ok.
    virtual DecideResult decide(int64_t episode, Action action) = 0;
    virtual void enable(const std::vector<int>& types) = 0;
    virtual void inhibit(bool on) = 0;

    struct Replay {
        bool gap = false;    // records after `since` were no longer all held
        uint64_t first = 0;  // the oldest record held (with gap)
        std::vector<MoneyRecord> records;
    };
    // Every money record after `since`, from the journal.
    virtual Replay replayAfter(uint64_t since) = 0;
    // The outcome records (stacked, returned, credit) after the last ack.
    virtual std::vector<MoneyRecord> unacked() = 0;
    // The application has taken the records up to seq; kept in the journal.
    virtual void ack(uint64_t seq) = 0;

    // A controller came or went (a takeover is no change).
    virtual void onControllerPresent(bool present) = 0;
};

}  // namespace halvek::service
