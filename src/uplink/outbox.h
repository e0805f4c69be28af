#pragma once

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <vector>

namespace halvek::uplink {

// The money records handed to the broker and not yet acknowledged, in the
// order of their numbers. The broker may acknowledge them out of order; the
// acknowledged mark only moves over an unbroken run from the oldest, so that
// a restart from the mark never skips a record. Bounded: when full, the caller
// stops reading the service (the service's journal keeps the rest).
class Outbox {
  public:
    explicit Outbox(size_t capacity) : capacity_(capacity) {}

    bool full() const { return pending_.size() >= capacity_; }
    size_t size() const { return pending_.size(); }
    // The number of the last record taken: the place to ask the service to go on from.
    uint64_t lastTaken() const { return pending_.empty() ? mark_ : pending_.back().seq; }

    // Starts again from `acked` with nothing pending (a new broker session).
    void reset(uint64_t acked);
    // A record older than the last one taken is refused (the service replays
    // what was already asked for after a reconnect).
    bool take(uint64_t seq, nlohmann::json record);
    // The broker's message id given to the record last taken.
    void sent(uint64_t seq, int mid);
    // A PUBACK for `mid`. Returns the records that became acknowledged, oldest first.
    std::vector<nlohmann::json> acknowledged(int mid);

  private:
    struct Entry {
        uint64_t seq;
        int mid = -1;
        bool acked = false;
        nlohmann::json record;
    };
    size_t capacity_;
    uint64_t mark_ = 0;
    std::deque<Entry> pending_;
};

}  // namespace halvek::uplink
