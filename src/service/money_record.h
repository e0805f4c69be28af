#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace halvek::service {

// One numbered money record as the service hands it to its clients. The
// settlement machine makes them and the journal numbers them; the service
// only carries them, so this is a plain copy of what a client sees.
struct MoneyRecord {
    uint64_t seq = 0;      // the journal's number: never repeats, also across restarts
    std::string kind;      // escrow, decision, sent, stacked, returned, rejected, credit, in-doubt
    int64_t episode = 0;   // the escrow episode the record belongs to
    int type = 0;          // bill type 1..n (0: none, as for a credit total)
    int64_t value = 0;     // in the currency's smallest unit
    std::string currency;  // "EUR"
    int64_t timeMs = 0;    // milliseconds since the epoch, UTC
    // escrow records: when the bill gets the default decision, and which one
    std::optional<int64_t> decideByMs;
    std::string defaultAction;  // "accept" | "return" (escrow); the decision taken (decision)
    std::string action;         // decision records: "accept" | "return"
    std::string by;             // decision records: "controller" | "default" | "host"
    std::string reason;         // in-doubt and rejected records: why, in words
    std::optional<int64_t> credit;  // credit records: the credit total now
    // in-doubt records: the unit's count against the count expected (-1: not known)
    std::optional<int64_t> unitCount, expectedCount;
};

// Records a reconnecting application must learn of: what it has not acked yet.
// A bill in doubt is one: the application must not learn of it only by chance.
inline bool isOutcome(const MoneyRecord& r) {
    return r.kind == "stacked" || r.kind == "returned" || r.kind == "credit" || r.kind == "in-doubt";
}

}  // namespace halvek::service
