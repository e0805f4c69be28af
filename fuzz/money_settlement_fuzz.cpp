// The settlement machine under any run of facts: status replies showing any
// bill of any type in any state, bill tables (or none), decisions for the open
// episode or another, frames placed, counts read or given up, units found
// again, the credit cleared and the rules changed. Whatever comes, its ledger
// keeps its books:
// - seq strictly rising, and every record's credit total is the ledger's;
// - the credit total moves only by credit records, each the value of the
//   stacked record just before it, and equals their sum since the last clearing;
// - one decision per escrow episode at most, and only for an episode that was opened;
// - an escrow episode ends in one of stacked, returned or in doubt at most (or stays open).
#include <map>
#include <set>

#include "fuzz_input.h"
#include "money/settlement.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;

namespace {

struct Ledger {
    uint64_t lastSeq = 0;
    int64_t credited = 0;
    MoneyEvent last{MoneyKind::Escrow};
    std::set<int64_t> episodes;
    std::set<int64_t> decided;
    std::map<int64_t, int> outcomes;
    bool countPending = false;
    std::vector<EscrowAction> toPlace;

    void record(const MoneyEvent& e) {
        FUZZ_CHECK(e.seq > lastSeq, "a record's seq did not rise");
        lastSeq = e.seq;
        switch (e.kind) {
            case MoneyKind::Escrow:
                FUZZ_CHECK(e.episode == static_cast<int64_t>(e.seq), "an escrow record is not its episode's id");
                episodes.insert(e.episode);
                break;
            case MoneyKind::Decision:
                FUZZ_CHECK(episodes.count(e.episode) == 1, "a decision for an episode never opened");
                FUZZ_CHECK(decided.insert(e.episode).second, "an escrow episode was decided twice");
                break;
            case MoneyKind::Stacked:
            case MoneyKind::Returned:
            case MoneyKind::InDoubt:
                if (e.episode != 0) {
                    FUZZ_CHECK(episodes.count(e.episode) == 1, "an outcome for an episode never opened");
                    FUZZ_CHECK(++outcomes[e.episode] == 1, "an escrow episode ended twice");
                }
                break;
            case MoneyKind::Credit:
                FUZZ_CHECK(last.kind == MoneyKind::Stacked && last.type == e.type && last.value == e.value &&
                               last.episode == e.episode && e.value >= 0,
                           "a credit without the stacked record of its bill");
                credited += e.value;
                break;
            case MoneyKind::Sent:
                break;
        }
        FUZZ_CHECK(e.creditTotal == credited, "a record does not carry the credit total");
        last = e;
    }
};

SettlementRules rulesFrom(FuzzInput& in) {
    const uint8_t f = in.byte();
    SettlementRules r;
    r.external = f & 0x01;
    r.autoAccept = f & 0x02;
    r.creditLimitOn = f & 0x04;
    r.creditAlways = f & 0x08;
    r.creditLimit = (f & 0x10) ? INT64_C(1) << 40 : in.byte();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Ledger ledger;
    Settlement machine([&](const MoneyEvent& e) { ledger.record(e); },
                       [&](const SettlementRequest& r) {
                           if (r.kind == SettlementRequest::Kind::ReadCount) ledger.countPending = true;
                           if (r.kind == SettlementRequest::Kind::SendDecision) ledger.toPlace.push_back(r.action);
                       });
    machine.setRules(rulesFrom(in));
    machine.setFirstSeq(in.byte());
    uint32_t count = in.byte();
    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op % 10) {
            case 0:
            case 1: {
                // A status reply: a type 0-5 or the coupon, bits as they come.
                StatusShown s;
                const uint8_t t = in.byte(), bits = in.byte(), more = in.byte();
                s.type = (t & 0x80) ? 16 : t % 6;
                s.coupon = s.type == 16;
                s.escrow = bits & 0x01;
                s.escrowQuiet = bits & 0x02;
                s.stacked = bits & 0x04;
                s.accepting = bits & 0x08;
                s.stacking = bits & 0x10;
                s.returning = bits & 0x20;
                s.rejected = bits & 0x40;
                s.powerUp = bits & 0x80;
                s.idle = more & 0x01;
                s.repeated = (more & 0x06) == 0x06 && !s.escrow && !s.stacked;
                s.countReadPending = ledger.countPending || (more & 0x08);
                machine.statusShown(s);
                break;
            }
            case 2: {
                BillValues v;
                v.loaded = in.flag();
                for (int t = 1; t <= 5; ++t) {
                    const uint8_t b = in.byte();
                    v.value[static_cast<size_t>(t)] = b == 0xFF ? -1 : b;
                }
                machine.billTable(v);
                break;
            }
            case 3: {
                // For the open episode, mostly; else one before it or after it.
                const uint8_t how = in.byte();
                const int64_t open = machine.episode().id;
                const int64_t episode = (how & 0x0C) == 0 ? open + (how & 0x10 ? 1 : -1) : open;
                const Settlement::Episode before = machine.episode();
                const DecideResult r =
                    machine.decide(episode, how & 1 ? EscrowAction::Accept : EscrowAction::Return, "fuzz");
                if (r == DecideResult::Taken)
                    FUZZ_CHECK(before.id != 0 && episode == before.id && !before.decided,
                               "a decision was taken that should have been refused");
                break;
            }
            case 4: {
                // The link places what was asked, or a frame of its own.
                std::vector<EscrowAction> placing;
                placing.swap(ledger.toPlace);
                if (in.flag()) placing.push_back(in.flag() ? EscrowAction::Accept : EscrowAction::Return);
                for (EscrowAction a : placing) machine.decisionPlaced(a);
                break;
            }
            case 5:
                machine.countReadPlaced();
                break;
            case 6: {
                // Mostly a count near the last one; at times anything.
                const uint8_t b = in.byte();
                count = (b & 0x80) ? b : count + (b % 3);
                ledger.countPending = false;
                machine.countRead(count);
                break;
            }
            case 7:
                ledger.countPending = false;
                machine.countGivenUp();
                break;
            case 8:
                if (op & 0x10) {
                    machine.creditCleared();
                    ledger.credited = 0;
                } else {
                    machine.linkFound();
                }
                break;
            case 9:
                machine.setRules(rulesFrom(in));
                break;
        }
        FUZZ_CHECK(machine.creditTotal() == ledger.credited, "the credit total is not the sum of the credit records");
        FUZZ_CHECK(machine.nextSeq() > ledger.lastSeq, "the next seq was handed out already");
    }
    return 0;
}
