#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halvek {

// What happens to money, one record each: the journal writes them, the
// window, the monitor and the tests take them.
enum class MoneyKind {
    Escrow,    // a bill reached escrow (the start of its episode)
    Decision,  // the host decided: accept or return (action names which)
    Sent,      // an "escrow accept" or "escrow return" frame left (action names which)
    Stacked,   // the unit reports the bill stacked
    Returned,  // the episode ended without a stack (returned, rejected, reset)
    Credit,    // the credit total changed
    InDoubt,   // a bill the host cannot settle from what it saw or from the unit's count: not credited
};

struct MoneyEvent {
    MoneyKind kind;
    int type = 0;       // bill type (0: not known)
    int64_t value = 0;  // in whole currency units (-1: not known)
    int64_t creditTotal = 0;
    std::string action{};  // "accept" or "return", for decisions and frames sent
    // In-doubt records: why, and the unit's count against the count the host
    // expected (-1: not known).
    std::string reason{};
    int64_t unitCount = -1;
    int64_t expectedCount = -1;
    // The escrow episode the record belongs to: the seq of its escrow record (0: none).
    int64_t episode = 0;
    // Decisions: who took it ("controller", "default", "host"; "" when not said).
    std::string by{};
};

const char* moneyKindName(MoneyKind kind);
// The kind a name stands for; false for a name no kind has.
bool moneyKindFromName(std::string_view name, MoneyKind& kind);

}  // namespace halvek
