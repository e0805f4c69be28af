#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "money/money_record.h"

namespace halvek::service {

// One money record as the service hands it to its clients: the record as the
// settlement machine made it (its seq is the journal's number, which never
// repeats, also across restarts), and what a client needs besides.
struct MoneyRecord {
    MoneyEvent event{MoneyKind::Escrow};
    std::string currency;  // "EUR"
    int64_t timeMs = 0;    // when it was made: milliseconds since the epoch, UTC
    // Escrow records: when the bill gets the default decision, and which one.
    std::optional<int64_t> decideByMs;
    std::string defaultAction;  // "accept" | "return"
};

// Records a reconnecting application must learn of: what it has not acked yet.
// A bill in doubt is one: the application must not learn of it only by chance.
inline bool isOutcome(const MoneyRecord& r) {
    const MoneyKind k = r.event.kind;
    return k == MoneyKind::Stacked || k == MoneyKind::Returned || k == MoneyKind::Credit || k == MoneyKind::InDoubt;
}

}  // namespace halvek::service
