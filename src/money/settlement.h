#pragma once

// The settlement machine: every rule that decides what is money. It sees facts
// (what a status reply shows, a frame placed, a count read, the bill table, a
// unit found again), never frames or lines, and answers with numbered money
// records and with requests for the link. It owns the escrow episode, the
// identity of a stacked bill, the bills waiting for their name, the unit's
// count as expected and the credit total. Nothing else computes credit.
//
// It has no clock, no thread and no I/O: the window, the console monitor and
// the service feed it the same facts, and the tests feed it tables of them.
// Records, requests and notices go out synchronously, from inside the call
// that caused them, in the order they happen.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "money/money_record.h"

namespace halvek {

enum class EscrowAction : uint8_t { Accept, Return };
const char* escrowActionName(EscrowAction action);  // "accept", "return"

// Who decides a bill in escrow. Automatic (external false): the settings below
// decide at once, once the bill table and the unit's first count are known (the
// window and the monitor); a bill they leave undecided waits for decide() (the
// window's buttons). External: the owner decides every bill by calling decide()
// (the service, whose application or escrow deadline decides).
struct SettlementRules {
    bool external = false;
    bool autoAccept = true;
    bool creditLimitOn = false;
    int64_t creditLimit = 9999;
    // The credit total counts stacked bills of known value while the credit
    // limit is on (the window's credit is the limit's); with this, always.
    bool creditAlways = false;
};

// What one status reply shows, as far as money goes.
struct StatusShown {
    // The same bytes as the reply before: it tells only that no bill shows stacked now.
    bool repeated = false;
    int type = 0;              // the bill type the reply names (for escrow and stacked)
    bool escrow = false;       // a bill in escrow
    bool escrowQuiet = false;  // ... that the unit asks the host not to act on
    bool stacked = false;      // a bill reported stacked (the same type on the next reply is the same bill)
    bool coupon = false;       // the bill named is a coupon: credited at once, never waits for a name
    bool accepting = false, stacking = false, returning = false, rejected = false, powerUp = false, idle = false;
    // A read of the unit's count is asked for or on its way (by anyone): a bill
    // waits for its answer before it is decided.
    bool countReadPending = false;
};

// The bill table as far as money needs it: the value of each type that has a
// row, -1 for the others.
struct BillValues {
    static constexpr int kTypes = 64;
    bool loaded = false;
    std::array<int64_t, kTypes + 1> value;  // value[type], type 1..64
    BillValues() { value.fill(-1); }
    int64_t of(int type) const { return loaded && type >= 1 && type <= kTypes ? value[static_cast<size_t>(type)] : -1; }
};

// What the machine asks of the link, carried out in the link's own time and
// answered with the facts below.
struct SettlementRequest {
    enum class Kind : uint8_t {
        ReadCount,      // read the unit's life count
        ReadBillTable,  // a bill cannot be decided before the bill table is known
        SendDecision,   // place the "escrow accept" / "escrow return" frame of `action`
    };
    Kind kind;
    EscrowAction action = EscrowAction::Return;
};

enum class DecideResult : uint8_t { Taken, NoBillInEscrow, OtherEpisode, AlreadyDecided };
const char* decideResultText(DecideResult result);  // words for the refusals

class Settlement {
  public:
    // Stacked bills waiting for the bill table to be named, at most.
    static constexpr size_t kWaitingForNameMax = 16;
    // Status replies still showing the bill in escrow after its decision was
    // placed, before the decision is placed again; and how often at most.
    static constexpr int kResendAfterReplies = 4;
    static constexpr int kMaxResends = 3;
    // Count reads given up in a row before the bills they would settle are in doubt.
    static constexpr int kSettleAttempts = 3;

    using RecordSink = std::function<void(const MoneyEvent&)>;
    using RequestSink = std::function<void(const SettlementRequest&)>;
    // Words for the technician (the link's notices), one line each.
    using NoticeSink = std::function<void(const std::string&)>;

    Settlement(RecordSink records, RequestSink requests, NoticeSink notices = {});
    ~Settlement();
    Settlement(const Settlement&) = delete;
    Settlement& operator=(const Settlement&) = delete;

    void setRules(const SettlementRules& rules);
    const SettlementRules& rules() const;
    // Records are numbered from here on (the journal's next seq); never lowered.
    void setFirstSeq(uint64_t seq);

    // Facts.
    void statusShown(const StatusShown& shown);
    void billTable(const BillValues& values);  // read, or forgotten (loaded false)
    // A decision for the bill in escrow: the owner's (external), or a button's.
    // Recorded (with `by`) before the frame is asked for; refused when no bill is
    // in escrow, the episode is another, or it is decided already.
    DecideResult decide(int64_t episode, EscrowAction action, const std::string& by);
    void decisionPlaced(EscrowAction action);  // an escrow frame went to the line
    void countReadPlaced();                    // a count read went to the line
    void countRead(uint32_t lifeCount);
    void countGivenUp();
    // A unit answers again after the link was lost, maybe another one: what the
    // last one told (its table, its count) no longer holds as it was.
    void linkFound();
    // A bill an earlier run of the host accepted, whose outcome that run never
    // recorded (it stopped between the accept and the stacked report): its type,
    // its episode, and the unit's count before it (-1: not known). A stacked
    // report of that type on the first status reply settles it; else the
    // unit's count, read after that first reply, does (risen: stacked; not:
    // returned; not carrying on, or not known: in doubt). Given before the
    // first status reply.
    void acceptedBeforeRestart(int type, int64_t episode, int64_t expectedCount);
    void creditCleared();  // the technician's reset of the credit total

    // State, for the pages and the service.
    struct Episode {
        int64_t id = 0;  // the seq of its escrow record: never repeats; 0 while none is open
        int type = 0;
        int64_t value = -1;
        bool decided = false;
        EscrowAction action = EscrowAction::Return;
    };
    Episode episode() const;  // the open one
    int64_t creditTotal() const;
    uint64_t nextSeq() const;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace halvek
