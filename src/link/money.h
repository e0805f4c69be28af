#pragma once

#include <cstdint>
#include <string>

namespace halvek {

// What happens to money on the link, one event each: the journal writes them,
// the tests count them.
enum class MoneyKind {
    Escrow,    // a bill reached escrow (the start of its episode)
    Decision,  // the host decided: accept or return (action names which)
    Sent,      // an "escrow accept" or "escrow return" frame left (action names which)
    Stacked,   // the unit reports the bill stacked
    Returned,  // the episode ended without a stack (returned, rejected, reset)
    Credit,    // the credit total changed
};

struct MoneyEvent {
    MoneyKind kind;
    int type = 0;       // bill type (0: not known)
    int64_t value = 0;  // in whole currency units (-1: not known)
    int64_t creditTotal = 0;
    std::string action{};  // "accept" or "return", for decisions and frames sent
};

const char* moneyKindName(MoneyKind kind);

}  // namespace halvek
