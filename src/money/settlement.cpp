#include "money/settlement.h"

#include <algorithm>
#include <vector>

namespace halvek {

const char* escrowActionName(EscrowAction action) { return action == EscrowAction::Accept ? "accept" : "return"; }

const char* decideResultText(DecideResult result) {
    switch (result) {
        case DecideResult::Taken:
            return "decided";
        case DecideResult::NoBillInEscrow:
            return "no bill is in escrow";
        case DecideResult::OtherEpisode:
            return "the bill in escrow is another one";
        case DecideResult::AlreadyDecided:
            return "the bill in escrow is decided already";
    }
    return "?";
}

namespace {

// A bill whose outcome waits for something: its type and its episode.
struct Bill {
    int type;
    int64_t episode;
};

}  // namespace

struct Settlement::State {
    RecordSink records;
    RequestSink requests;
    NoticeSink notices;
    SettlementRules rules;
    BillValues values;
    uint64_t nextSeq = 1;
    int64_t creditTotal = 0;

    // One bill in escrow: from the reply that first shows it until the unit
    // reports it stacked, returned or rejected, or shows the escrow empty while
    // idle. One decision per episode; a decision the unit did not act on is
    // placed again without deciding again.
    struct Open {
        bool open = false;
        int64_t id = 0;
        int type = 0;
        bool decided = false;
        EscrowAction action = EscrowAction::Return;
        bool decisionPending = false;  // asked for, not yet placed on the line
        int repliesSinceSent = 0;
        int resends = 0;
        bool returnSeen = false;      // the unit showed the bill returned or rejected
        bool acceptPlaced = false;    // an "escrow accept" frame has gone to the line
        bool stale = false;           // a unit was found again while it was open: what followed was not seen
        bool sendAfterCount = false;  // decided while the unit's first count was on its way: sent once it came
    } episode;

    // The bill type the previous status reply showed stacked (-1: none): the same
    // type still showing stacked is the same bill, another type is another bill.
    int previousStackedType = -1;
    // A reply showed a bill on its way in (escrow, accepting, stacking) since the
    // last outcome. Without one, a stacked report of the type last stacked may be
    // that old report told again.
    bool billUnderWay = false;
    int lastStackedType = -1;
    // Such reports: credited only once the unit's count shows them, else in doubt.
    std::vector<Bill> unconfirmed;
    // Bills stacked before the bill table was known, named once it is.
    std::vector<Bill> waitingForName;
    // Accepted bills whose episode ended without a stacked report: the unit's
    // count decides whether they were stacked.
    std::vector<Bill> unsettled;
    // Accepted bills of an earlier run with no outcome, until the first status
    // reply (a stacked report the unit still holds settles them first).
    std::vector<Bill> carried;
    bool carriedWaiting = false;    // carried bills were given and the first status reply has not come
    bool carriedCountKnown = true;  // every carried bill came with the count before it

    // The unit's life count as expected from the bills reported stacked.
    uint32_t expectedCount = 0;
    bool countKnown = false;
    bool countAsked = false;  // asked once per unit, with its first bill in escrow
    // A unit was found again: the expected count is the last unit's, taken on
    // only if the next count read carries on from it.
    bool countCarried = false;
    // The count now asked for was asked before the open episode's bill could be
    // stacked (none open, or its accept not yet placed): the count leaves that bill out.
    bool countAskedBeforeAccept = false;
    // A count came while it could hold the bill under way: asked again once that bill is settled.
    bool countAgainAfterEpisode = false;
    int settleAttempts = 0;
    // While a status reply is taken: a count read is asked for or on its way.
    bool countPending = false;

    void emit(MoneyEvent e) {
        e.seq = nextSeq++;
        e.creditTotal = creditTotal;
        if (records) records(e);
    }
    void ask(SettlementRequest r) {
        if (r.kind == SettlementRequest::Kind::ReadCount) countPending = true;
        if (requests) requests(r);
    }
    void askCount() { ask({SettlementRequest::Kind::ReadCount}); }
    void notice(const std::string& text) {
        if (notices) notices(text);
    }

    void openEpisode(int type) {
        episode = Open{};
        episode.open = true;
        episode.id = static_cast<int64_t>(nextSeq);
        episode.type = type;
        emit({MoneyKind::Escrow, type, values.of(type), 0, {}, {}, -1, -1, 0, episode.id});
    }

    void decide(EscrowAction action, const std::string& by) {
        episode.decided = true;
        episode.action = action;
        episode.repliesSinceSent = 0;
        episode.decisionPending = true;
        MoneyEvent e{MoneyKind::Decision, episode.type, values.of(episode.type), 0, escrowActionName(action)};
        e.episode = episode.id;
        e.by = by;
        if (action == EscrowAction::Accept) e.expectedCount = countKnown ? int64_t{expectedCount} : -1;
        emit(e);
        // An accept goes out once the unit's count before the bill is known, as
        // the settings' own decision waits for it: that count is what settles
        // the bill if its stacked report is lost, also across a restart.
        if (action == EscrowAction::Accept && !countKnown && countPending) {
            episode.sendAfterCount = true;
            return;
        }
        ask({SettlementRequest::Kind::SendDecision, action});
    }

    void sendHeldDecision() {
        if (!episode.open || !episode.sendAfterCount) return;
        episode.sendAfterCount = false;
        ask({SettlementRequest::Kind::SendDecision, episode.action});
    }

    // After the first status reply since the restart: carried bills its stacked
    // report did not settle wait for the unit's count, or are in doubt without
    // a count to compare it with.
    // The count is read even when a stacked report settled them: it must
    // carry on from the count expected, and the next bills stand on it.
    void settleCarried() {
        if (!carriedWaiting) return;
        carriedWaiting = false;
        std::vector<Bill> bills;
        bills.swap(carried);
        if (!carriedCountKnown) {
            for (const Bill& b : bills) inDoubt(b, "outcome-not-seen-count-not-known", -1, -1);
            return;
        }
        unsettled.insert(unsettled.end(), bills.begin(), bills.end());
        askCount();
    }

    // The escrow settings' decision, once per bill. Until the bill table is known
    // nothing is decided (the table is asked for); with the credit limit on, a
    // bill whose value is not known is never accepted.
    void decideAutomatically() {
        if (!values.loaded) {
            ask({SettlementRequest::Kind::ReadBillTable});
            return;
        }
        if (rules.external) return;
        // The unit's count is read before its first accepted bill can add to it:
        // the bill waits in escrow for that one reply (a count given up does not hold it).
        if (!countKnown && countPending) return;
        const int64_t value = values.of(episode.type);
        const bool over = value < 0 || creditTotal + value > rules.creditLimit;
        if (rules.autoAccept && !(rules.creditLimitOn && over))
            decide(EscrowAction::Accept, "auto");
        else if (rules.creditLimitOn && over)
            decide(EscrowAction::Return, "auto");
    }

    // The unit still holds the bill after the decision went out: the frame may
    // have been lost. The same decision goes out again, a few times at most.
    void resendDecision() {
        if (episode.decisionPending) return;  // not out yet
        if (++episode.repliesSinceSent < kResendAfterReplies || episode.resends >= kMaxResends) return;
        ++episode.resends;
        episode.repliesSinceSent = 0;
        notice(std::string("the unit still holds the bill: \"escrow ") + escrowActionName(episode.action) +
               "\" sent again");
        episode.decisionPending = true;
        ask({SettlementRequest::Kind::SendDecision, episode.action});
    }

    void endEpisode(bool stacked) {
        const Open ended = episode;
        if (!stacked && ended.decided && ended.action == EscrowAction::Accept && !ended.returnSeen) {
            // Accepted, and gone from escrow without a stacked report: the report
            // may have been lost on the line. The unit's own count decides.
            unsettled.push_back({ended.type, ended.id});
        } else if (!stacked) {
            returned({ended.type, ended.id});
        }
        episode = Open{};
        billUnderWay = false;
        if (!unsettled.empty() || countAgainAfterEpisode) {
            countAgainAfterEpisode = false;
            askCount();
        }
    }

    void returned(Bill b) {
        MoneyEvent e{MoneyKind::Returned, b.type, values.of(b.type)};
        e.episode = b.episode;
        emit(e);
    }

    // One record and one credit per bill the unit stacked; a bill stacked before
    // the table is known waits in a short list to be named.
    void billStacked(Bill b) {
        // Counted when the stack is known, not when it is named: a count read in
        // between already holds a bill that waits for its name.
        ++expectedCount;
        if (values.loaded) return credit(b, MoneyEvent::Told::AtOnce);
        if (waitingForName.size() < kWaitingForNameMax) return waitingForName.push_back(b);
        MoneyEvent e{MoneyKind::Stacked, b.type, -1};
        e.episode = b.episode;
        e.told = MoneyEvent::Told::NotNamed;
        emit(e);
    }

    void credit(Bill b, MoneyEvent::Told told) {
        const int64_t value = values.of(b.type);
        MoneyEvent e{MoneyKind::Stacked, b.type, value};
        e.episode = b.episode;
        e.told = told;
        emit(e);
        if (!(rules.creditLimitOn || rules.creditAlways) || value < 0) return;
        creditTotal += value;
        e.kind = MoneyKind::Credit;
        e.told = MoneyEvent::Told::AtOnce;
        emit(e);
    }

    void nameWaiting() {
        if (waitingForName.empty() || !values.loaded) return;
        std::vector<Bill> waiting;
        waiting.swap(waitingForName);
        for (const Bill& b : waiting) credit(b, MoneyEvent::Told::Late);
    }

    // A stacked report with no bill seen on its way in since the last outcome:
    // the unit may be telling an old report again. The unit's count decides.
    void stackedUnseen(int type) {
        unconfirmed.push_back({type, 0});
        notice("a stacked report came with no bill seen going in: the unit's count decides");
        askCount();
    }

    // Neither what the host saw nor the unit's count settles this bill: it is
    // recorded and shown, and not credited.
    void inDoubt(Bill b, const char* reason, int64_t unitCount, int64_t expected) {
        MoneyEvent e{MoneyKind::InDoubt, b.type, values.of(b.type), 0, "", reason, unitCount, expected};
        e.episode = b.episode;
        emit(e);
    }

    int64_t expectedNext(bool had) const { return had ? int64_t{expectedCount} + 1 : int64_t{-1}; }
};

Settlement::Settlement(RecordSink records, RequestSink requests, NoticeSink notices) : s_(std::make_unique<State>()) {
    s_->records = std::move(records);
    s_->requests = std::move(requests);
    s_->notices = std::move(notices);
}

Settlement::~Settlement() = default;

void Settlement::setRules(const SettlementRules& rules) { s_->rules = rules; }
const SettlementRules& Settlement::rules() const { return s_->rules; }
void Settlement::setFirstSeq(uint64_t seq) {
    if (seq > s_->nextSeq) s_->nextSeq = seq;
}

void Settlement::statusShown(const StatusShown& shown) {
    State& s = *s_;
    const int type = shown.type;
    const bool newBillStacked = shown.stacked && type != s.previousStackedType;
    s.previousStackedType = shown.stacked ? type : -1;
    if (!shown.repeated) {
        s.countPending = shown.countReadPending;
        if (shown.escrow && !shown.escrowQuiet) {
            if (!s.episode.open || s.episode.type != type || s.episode.stale) {
                // A bill in escrow that is not the one of the open episode: that
                // one left unseen, and the unit's count settles it.
                if (s.episode.open) s.endEpisode(false);
                s.openEpisode(type);
                // The unit's count before this bill can be stacked, once per unit:
                // it settles later whether an accepted bill whose report the line
                // lost went in.
                if (!s.countKnown && !s.countAsked) {
                    s.countAsked = true;
                    s.askCount();
                }
            }
            if (!s.episode.decided)
                s.decideAutomatically();
            else
                s.resendDecision();
        }
        if (shown.escrow || shown.accepting || shown.stacking) s.billUnderWay = true;
        if (newBillStacked) {
            Bill bill{type, s.episode.open ? s.episode.id : 0};
            const auto carried =
                std::find_if(s.carried.begin(), s.carried.end(), [type](const Bill& b) { return b.type == type; });
            if (!s.episode.open && !s.billUnderWay && carried != s.carried.end()) {
                // The report the last run did not see: it settles that run's bill.
                bill = *carried;
                s.carried.erase(carried);
                s.billStacked(bill);
            } else if (shown.coupon) {
                ++s.expectedCount;
                s.credit(bill, MoneyEvent::Told::Coupon);
            } else if (s.episode.open || s.billUnderWay || type != s.lastStackedType) {
                s.billStacked(bill);
            } else {
                s.stackedUnseen(type);
            }
            s.lastStackedType = type;
            s.billUnderWay = false;
            if (s.episode.open) s.endEpisode(true);
        }
        const bool returning = shown.returning || shown.rejected;
        if (s.episode.open && returning) s.episode.returnSeen = true;
        // A bill in escrow leaves it without a stack when the unit returns or
        // rejects it, restarts, or shows the escrow empty while idle.
        if (s.episode.open && !shown.escrow && (returning || shown.powerUp || shown.idle) &&
            !(shown.stacking || shown.accepting))
            s.endEpisode(false);
    }
    s.settleCarried();
    s.nameWaiting();
}

void Settlement::billTable(const BillValues& values) {
    s_->values = values;
    s_->nameWaiting();
}

DecideResult Settlement::decide(int64_t episode, EscrowAction action, const std::string& by) {
    State& s = *s_;
    if (!s.episode.open) return DecideResult::NoBillInEscrow;
    if (episode != s.episode.id) return DecideResult::OtherEpisode;
    if (s.episode.decided) return DecideResult::AlreadyDecided;
    s.decide(action, by);
    return DecideResult::Taken;
}

void Settlement::decisionPlaced(EscrowAction action) {
    State& s = *s_;
    const State::Open& ep = s.episode;
    if (ep.open && action == EscrowAction::Accept) s.episode.acceptPlaced = true;
    if (ep.open && ep.decided && action == ep.action) s.episode.decisionPending = false;
    const int type = ep.open ? ep.type : 0;
    MoneyEvent e{MoneyKind::Sent, type, s.values.of(type), 0, escrowActionName(action)};
    e.episode = ep.open ? ep.id : 0;
    // The count an accepted bill must raise: what settles it after a restart.
    if (action == EscrowAction::Accept && s.countKnown) e.expectedCount = s.expectedCount;
    s.emit(e);
}

void Settlement::countReadPlaced() { s_->countAskedBeforeAccept = !s_->episode.open || !s_->episode.acceptPlaced; }

void Settlement::countRead(uint32_t count) {
    State& s = *s_;
    // A bill of the last run still waits for the first status reply, whose
    // stacked report may settle it: a count taken before that would hold the
    // bill once more. The count is read again after that reply.
    if (s.carriedWaiting) {
        s.sendHeldDecision();
        return;
    }
    // With an accepted bill on its way through the unit the count may hold it
    // already or not yet: that count is not taken, and asked again once the bill is settled.
    if (!s.countAskedBeforeAccept) {
        s.countAgainAfterEpisode = true;
        s.sendHeldDecision();
        return;
    }
    std::vector<Bill> unsettled, unconfirmed;
    unsettled.swap(s.unsettled);
    unconfirmed.swap(s.unconfirmed);
    // After the link was lost the unit on the line may be another one. It is
    // the same one if its count carries on from the last one's, by no more
    // than the bills still open: another unit's count lands there only by a
    // coincidence no one could arrange, and anything else is a new count.
    bool counting = s.countKnown;
    if (!s.countKnown && s.countCarried) {
        counting = count >= s.expectedCount && count - s.expectedCount <= unsettled.size() + unconfirmed.size();
        if (!counting)
            s.notice(
                "the unit's count does not carry on from the one before the link was lost: "
                "bills not yet settled are in doubt");
    }
    const bool hadExpectation = s.countKnown || s.countCarried;
    s.countCarried = false;
    for (const Bill& b : unsettled) {
        if (!counting) {
            s.inDoubt(b, "count-not-carried-on", count, s.expectedNext(hadExpectation));
        } else if (count > s.expectedCount) {
            s.notice("the unit counted a stacked bill whose report the line lost");
            s.billStacked(b);
        } else {
            s.returned(b);
        }
    }
    // A stacked report is the unit's word, and so is its count: a report the
    // count does not show (an old report told again) is not credited.
    for (const Bill& b : unconfirmed) {
        if (counting && count > s.expectedCount)
            s.billStacked(b);
        else
            s.inDoubt(b, counting ? "count-not-risen" : "count-not-known", count, s.expectedNext(hadExpectation));
    }
    s.countKnown = true;
    s.settleAttempts = 0;
    s.expectedCount = count;
    s.sendHeldDecision();
}

// A unit that does not give its count leaves the bills it would settle in
// doubt, after a few tries: nothing is credited unseen.
void Settlement::countGivenUp() {
    State& s = *s_;
    s.countAsked = false;  // asked again with the next bill
    s.sendHeldDecision();  // a count given up does not hold a bill
    if (s.unsettled.empty() && s.unconfirmed.empty()) return;
    if (++s.settleAttempts <= kSettleAttempts) {
        s.askCount();
        return;
    }
    s.settleAttempts = 0;
    s.notice("the unit did not give its count: bills it would settle are in doubt and not credited");
    const int64_t expected = s.expectedNext(s.countKnown);
    std::vector<Bill> bills;
    bills.swap(s.unsettled);
    bills.insert(bills.end(), s.unconfirmed.begin(), s.unconfirmed.end());
    s.unconfirmed.clear();
    for (const Bill& b : bills) s.inDoubt(b, "count-not-given", -1, expected);
}

void Settlement::linkFound() {
    State& s = *s_;
    if (s.episode.open) s.episode.stale = true;
    s.countCarried = s.countKnown || s.countCarried;
    s.countKnown = false;
    s.countAsked = false;
    // Bills seen stacked but not yet named stay: they are money, and are named
    // with the table the unit on the line gives.
    s.values = BillValues{};
}

void Settlement::acceptedBeforeRestart(int type, int64_t episode, int64_t expectedCount) {
    State& s = *s_;
    s.carried.push_back({type, episode});
    s.carriedWaiting = true;
    if (expectedCount < 0) {
        s.carriedCountKnown = false;
        return;
    }
    // The count carries on from the lowest one expected: every carried bill
    // went in after it, if it went in at all.
    const auto count = static_cast<uint32_t>(expectedCount);
    if (!s.countCarried || count < s.expectedCount) s.expectedCount = count;
    s.countCarried = true;
    s.countKnown = false;
}

void Settlement::creditCleared() { s_->creditTotal = 0; }

Settlement::Episode Settlement::episode() const {
    const State::Open& ep = s_->episode;
    if (!ep.open) return {};
    return {ep.id, ep.type, s_->values.of(ep.type), ep.decided, ep.action};
}

int64_t Settlement::creditTotal() const { return s_->creditTotal; }
uint64_t Settlement::nextSeq() const { return s_->nextSeq; }

}  // namespace halvek
