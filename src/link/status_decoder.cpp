// The status reply: the validator's state, the events, and the host's own
// reactions (escrow decision, page switches, refreshes, the listeners).
#include <algorithm>
#include <cstdio>

#include "link/link_controller.h"
#include "link/shown_code.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "protocol/status_bits.h"

namespace halvek {
namespace {

std::string format(const char* pattern, const std::string& name, int64_t value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, pattern, name.c_str(), static_cast<long long>(value));
    return buf;
}

bool newlySet(uint8_t current, uint8_t previous, uint8_t bit) {
    return (current & bit) && ((current ^ previous) & bit);
}

const char* action(uint8_t code) { return code == cmd::EscrowAccept ? "accept" : "return"; }

}  // namespace

// Bill types the table cannot hold (above 64) are named by their number.
std::string LinkController::billName(int type) const {
    if (BillStore::known(type)) return stores_.bills.currency(type);
    return "type " + std::to_string(type);
}

// A value is known only for a type the bill table has a row for.
bool LinkController::valueKnown(int type) const {
    return stores_.bills.tableLoaded && BillStore::known(type) &&
           stores_.bills.table[static_cast<size_t>(type - 1)][0] != 0;
}

void LinkController::decodeStatus(const Reply& r) {
    using namespace status;
    Stores& st = stores_;
    auto& S = st.status.current;
    auto& P = st.status.previous;
    const bool ext = r.extended();
    // Beyond the frame every byte reads 0 (the standard layout has no S3-S5).
    for (size_t i = 0; i < 6; ++i) S[i] = (ext || i < 3) ? r.data(i) : 0;
    st.status.received = S;
    const bool stackedBit = S[0] & kStacked;
    // A stacked report of the type the previous reply showed stacked is the same
    // bill again; another type is another bill, however close they come.
    const int shownType = ext ? S[3] : (S[0] & kTypeOrReasonMask);
    const bool newBillStacked = stackedBit && shownType != previousStackedType_;
    previousStackedType_ = stackedBit ? shownType : -1;
    if (S != P) {
        // A rejection is reported on every changed reply while it lasts.
        if (S[1] & kRejected) {
            const uint8_t reason = S[0] & kTypeOrReasonMask;
            if (reason == kReasonFailedOptical && (lowerPage_ == page::VideoTest || lowerPage_ == page::QuickTest) &&
                diagnosticsAvailable_ && ext)
                requestDiagnostics(kVideoSelector);
            if (!(reason == kReasonStringing && st.setup.escrow)) addEvent(text::rejectionText(reason));
        }
        const int type = ext ? S[3] : (S[0] & kTypeOrReasonMask);
        // The escrow bit is never remembered, so it is always new.
        if ((S[0] & kEscrow) && !(ext && (S[4] & kNoEscrowEvent))) {
            const int64_t value = stores_.bills.value(type);
            // Until the bill table is read (again, after a reconnect) the value is
            // not known: the event says so rather than showing 0.
            addEvent(type == kCouponType ? "coupon in escrow "
                     : valueKnown(type)  ? format("bill in escrow : %s  %lld", billName(type), value)
                                         : "bill in escrow : type " + std::to_string(type) + " (value not known yet)");
            st.escrow.billInEscrow = true;
            if (upperPage_ != page::Escrow) selectPage(TabRow::Upper, page::Escrow, true);
            st.escrow.escrowValue = value;
            if (!episode_.open || episode_.type != type || episode_.stale) {
                // A bill in escrow that is not the one of the open episode: that
                // one left unseen, and the unit's count settles it.
                if (episode_.open) endEpisode(false);
                episode_ = EscrowEpisode{true, type};
                tellMoney({MoneyKind::Escrow, type, valueKnown(type) ? value : -1});
                // The unit's count before this bill can be stacked, once per line:
                // it settles later whether an accepted bill whose report the line
                // lost went in.
                if (!lifeCountKnown_ && !lifeCountAsked_) {
                    lifeCountAsked_ = true;
                    request(cmd::ReadBillCounter);
                }
            }
            if (episode_.decision == 0)
                decideEscrow(type, value);
            else
                resendDecision();
        } else if (!(S[0] & kEscrow)) {
            st.escrow.billInEscrow = false;
        }
        if ((S[0] & kEscrow) || (S[1] & (kAccepting | kStacking))) billUnderWay_ = true;
        if (stackedBit) {
            if (newBillStacked) {
                if (type == kCouponType) {
                    const size_t from = ext ? 11 : 6;
                    const size_t trail = ext ? 13 : 7;
                    const size_t count = std::min<size_t>(r.length() > trail ? r.length() - trail : 0, 47);
                    std::string coupon;
                    for (size_t i = 0; i < count && r.byte(from + i) != 0; ++i)
                        coupon += static_cast<char>(r.byte(from + i));
                    addEvent("coupon: " + shownCode(coupon));
                    ++expectedLifeCount_;
                    credit(type);
                    for (StatusListener* l : listeners_) l->couponStacked(coupon);
                } else if (episode_.open || billUnderWay_ || type != lastStackedType_) {
                    // A bill carried over from an earlier run is settled by its report.
                    if (!episode_.open && !billUnderWay_ && lifeCountCarried_) {
                        const auto carried = std::find(unsettled_.begin(), unsettled_.end(), type);
                        if (carried != unsettled_.end()) unsettled_.erase(carried);
                    }
                    billStacked(type);
                } else {
                    stackedUnseen(type);
                }
                lastStackedType_ = type;
                billUnderWay_ = false;
                if (episode_.open) endEpisode(true);
            }
            if (ext && lowerPage_ == page::VideoTest && diagnosticsAvailable_) requestDiagnostics(kVideoSelector);
            S[0] &= static_cast<uint8_t>(~kStacked);
        }
        if (episode_.open && (S[1] & (kReturning | kRejected))) episode_.returnSeen = true;
        // A bill in escrow leaves it without a stack when the unit returns or
        // rejects it, restarts, or shows the escrow empty while idle.
        if (episode_.open && !(S[0] & kEscrow) && (S[1] & (kReturning | kRejected | kPowerUp | kIdle)) &&
            !(S[1] & (kStacking | kAccepting)))
            endEpisode(false);
        // Faults of the bill path and the stacker.
        if (newlySet(S[2], P[2], kPowerUpWithBill)) addEvent("power up with bill");
        if (newlySet(S[2], P[2], kCommTimeout)) addEvent("communication time out");
        if ((S[2] ^ P[2]) & kStackerDetached)
            addEvent((S[2] & kStackerDetached) ? "stacker detached" : "stacker attached");
        if (newlySet(S[2], P[2], kStackerFull)) addEvent("stacker full");
        if (newlySet(S[2], P[2], kStackerJam)) addEvent("stacker jam");
        if (newlySet(S[2], P[2], kBillJam)) addEvent("bill jam");
        // A VLA run that ends inhibited has failed.
        if (S[2] & kInhibited) {
            if (lowerPage_ == page::VideoTest && vlaRunning_) {
                vlaRunning_ = false;
                selectPage(TabRow::Lower, page::CommandStatus, true);
                ui_.showMessage({text::kWarning, text::kVlaFailed, Buttons::Ok, Icon::Warning});
            }
            if (newlySet(S[2], P[2], kInhibited)) addEvent("unit inhibited");
        }
        if (newlySet(S[2], P[2], kDisabled)) addEvent("unit disabled");
        // A VLA run that went well ends with a reset.
        if (S[1] & kPowerUp) {
            if (newlySet(S[1], P[1], kPowerUp)) addEvent("power on reset");
            if (vlaRunning_) {
                vlaRunning_ = false;
                if (diagnosticsAvailable_) requestDiagnostics(kVideoSelector);
                // The Setup page comes back with its tab, not under the VLA tab.
                selectPage(TabRow::Upper, page::Setup, true);
                startupCountdown_ = kStartupReads;
            }
        }
        if ((S[1] & kIdle) && (P[2] & (kInhibited | kDisabled))) addEvent("unit ready");
        if (newlySet(S[1], P[1], kReturning)) addEvent("returning bill");
        // Refresh the page shown.
        if (lowerPage_ == page::CommandStatus) {
            st.panes.statusDirty = true;
            ui_.repaintDrawingArea(false);
        } else if (lowerPage_ == page::Statistics && newlySet(S[1], P[1], kIdle)) {
            statsRefreshCountdown_ = 1;
            st.statistics.lastBillType = static_cast<uint8_t>(type);
        }
    }
    if (lowerPage_ == page::ViewData) ui_.repaintDrawingArea(false);
    P = S;
    S[0] &= static_cast<uint8_t>(~kEscrow);
    P[0] &= static_cast<uint8_t>(~kEscrow);
    reportDeferred();
    if (carriedCountWanted_) {
        carriedCountWanted_ = false;
        request(cmd::ReadBillCounter);
    }
    for (StatusListener* l : listeners_) l->statusDecoded(st.status);
}

// The automatic decision of the escrow settings, once per bill. Until the bill
// table is known nothing is decided (the table is asked for); with the credit
// limit on, a bill whose value is not known is never accepted.
void LinkController::decideEscrow(int type, int64_t value) {
    if (!stores_.bills.tableLoaded) {
        requestBillTable();
        return;
    }
    // The unit's count is read before its first accepted bill can add to it:
    // the bill waits in escrow for that one reply (a count given up does not hold it).
    if (!lifeCountKnown_ && requests_[cmd::ReadBillCounter] != RequestState::Idle) return;
    const EscrowSettings& e = stores_.escrow;
    const bool known = valueKnown(type);
    const bool over = !known || e.creditTotal + value > e.creditLimit;
    uint8_t decision = 0;
    if (episode_.wanted != 0)
        decision = episode_.wanted;
    else if (e.autoAccept && !(e.creditLimitOn && over))
        decision = cmd::EscrowAccept;
    else if (e.creditLimitOn && over)
        decision = cmd::EscrowReturn;
    if (decision == 0) return;
    episode_.decision = decision;
    episode_.repliesSinceSent = 0;
    tellMoney({MoneyKind::Decision, type, known ? value : -1, 0, action(decision)});
    request(decision);
}

bool LinkController::decideEscrow(uint8_t code) {
    if (!episode_.open || episode_.decision != 0 || episode_.wanted != 0) return false;
    if (code != cmd::EscrowAccept && code != cmd::EscrowReturn) return false;
    episode_.wanted = code;
    decideEscrow(episode_.type, stores_.bills.value(episode_.type));
    return true;
}

void LinkController::carryUnsettled(int type, uint32_t expectedCount) {
    unsettled_.push_back(type);
    expectedLifeCount_ = expectedCount;
    lifeCountCarried_ = true;
    lifeCountKnown_ = false;
    // Read once the first status reply is taken: a stacked report the unit
    // still holds settles the bill first, and the count then agrees with it.
    carriedCountWanted_ = true;
}

// The unit still holds the bill after the decision went out: the frame may have
// been lost. The same decision goes out again, a few times at most.
void LinkController::resendDecision() {
    if (requests_[episode_.decision] != RequestState::Idle) return;  // not out yet
    if (++episode_.repliesSinceSent < kResendAfterReplies || episode_.resends >= kMaxResends) return;
    ++episode_.resends;
    episode_.repliesSinceSent = 0;
    tellLink(std::string("the unit still holds the bill: \"escrow ") + action(episode_.decision) + "\" sent again");
    request(episode_.decision);
}

void LinkController::endEpisode(bool stacked) {
    const int type = episode_.type;
    if (!stacked && episode_.decision == cmd::EscrowAccept && !episode_.returnSeen) {
        // Accepted, and gone from escrow without a stacked report: the report may
        // have been lost on the line. The unit's own count decides.
        unsettled_.push_back(type);
    } else if (!stacked) {
        tellMoney({MoneyKind::Returned, type, valueKnown(type) ? stores_.bills.value(type) : -1});
    }
    episode_ = EscrowEpisode{};
    billUnderWay_ = false;
    if (!unsettled_.empty() || countAgainAfterEpisode_) {
        countAgainAfterEpisode_ = false;
        request(cmd::ReadBillCounter);
    }
}

void LinkController::lifeCountRead() {
    // With an accepted bill on its way through the unit the count may hold it
    // already or not yet: that count is not taken, and asked again once the bill is settled.
    if (!countAskedBeforeAccept_) {
        countAgainAfterEpisode_ = true;
        return;
    }
    const uint32_t count = stores_.counters.lifeCount;
    std::vector<int> unsettled, unconfirmed;
    unsettled.swap(unsettled_);
    unconfirmed.swap(unconfirmedStacked_);
    // After the link was lost the unit on the line may be another one. It is
    // the same one if its count carries on from the last one's, by no more
    // than the bills still open: another unit's count lands there only by a
    // coincidence no one could arrange, and anything else is a new count.
    bool counting = lifeCountKnown_;
    if (!lifeCountKnown_ && lifeCountCarried_) {
        counting = count >= expectedLifeCount_ && count - expectedLifeCount_ <= unsettled.size() + unconfirmed.size();
        if (!counting)
            tellLink(
                "the unit's count does not carry on from the one before the link was lost: "
                "bills not yet settled are in doubt");
    }
    const bool hadExpectation = lifeCountKnown_ || lifeCountCarried_;
    lifeCountCarried_ = false;
    for (int type : unsettled) {
        if (!counting) {
            inDoubt(type, "count-not-carried-on", count,
                    hadExpectation ? int64_t{expectedLifeCount_} + 1 : int64_t{-1});
        } else if (count > expectedLifeCount_) {
            tellLink("the unit counted a stacked bill whose report the line lost");
            billStacked(type);
        } else {
            tellMoney({MoneyKind::Returned, type, valueKnown(type) ? stores_.bills.value(type) : -1});
        }
    }
    // A stacked report is the unit's word, and so is its count: a report the
    // count does not show (an old report told again) is not credited.
    for (int type : unconfirmed) {
        if (counting && count > expectedLifeCount_) {
            billStacked(type);
        } else {
            inDoubt(type, counting ? "count-not-risen" : "count-not-known", count,
                    hadExpectation ? int64_t{expectedLifeCount_} + 1 : int64_t{-1});
        }
    }
    lifeCountKnown_ = true;
    settleAttempts_ = 0;
    expectedLifeCount_ = count;
}

// A stacked report with no bill seen on its way in since the last outcome: the
// unit may be telling an old report again. The unit's count decides.
void LinkController::stackedUnseen(int type) {
    unconfirmedStacked_.push_back(type);
    tellLink("a stacked report came with no bill seen going in: the unit's count decides");
    request(cmd::ReadBillCounter);
}

// Neither what the host saw nor the unit's count settles this bill: it is
// recorded and shown, and not credited.
void LinkController::inDoubt(int type, const char* reason, int64_t unitCount, int64_t expectedCount) {
    const bool known = valueKnown(type);
    const int64_t value = known ? stores_.bills.value(type) : -1;
    std::string what = known ? format("bill in doubt : %s  %lld", billName(type), value)
                             : "bill in doubt : type " + std::to_string(type);
    what += " (unit count " + (unitCount < 0 ? std::string("?") : std::to_string(unitCount)) + ", expected " +
            (expectedCount < 0 ? std::string("?") : std::to_string(expectedCount)) + ")";
    addEvent(what);
    tellMoney({MoneyKind::InDoubt, type, value, 0, "", reason, unitCount, expectedCount});
}

// One event and one credit per bill the unit stacked; a bill stacked before the
// table is known waits in a short list to be named.
void LinkController::billStacked(int type) {
    // Counted when the stack is known, not when it is named: a count read in
    // between already holds a bill that waits for its name.
    ++expectedLifeCount_;
    if (stores_.bills.tableLoaded) {
        addEvent(format("bill stacked : %s  %lld", billName(type), stores_.bills.value(type)));
        credit(type);
        return;
    }
    if (deferredStacked_.size() < kDeferredStackedMax) {
        deferredStacked_.push_back(type);
        return;
    }
    ++counters_.unnamedStacked;
    addEvent("bill stacked : type " + std::to_string(type) + " (not named: too many waiting)");
    tellMoney({MoneyKind::Stacked, type, -1});
}

void LinkController::credit(int type) {
    const bool known = valueKnown(type);
    const int64_t value = known ? stores_.bills.value(type) : -1;
    tellMoney({MoneyKind::Stacked, type, value});
    EscrowSettings& e = stores_.escrow;
    if (!e.creditLimitOn || !known) return;
    e.creditTotal += value;
    tellMoney({MoneyKind::Credit, type, value});
    refresh({View::Escrow});
}

// Bills stacked before the table was known are reported now, in order.
void LinkController::reportDeferred() {
    if (deferredStacked_.empty() || !stores_.bills.tableLoaded) return;
    for (int type : deferredStacked_) {
        addEvent(format("(cr) bill stacked : %s  %lld", billName(type), stores_.bills.value(type)));
        credit(type);
    }
    deferredStacked_.clear();
}

}  // namespace halvek
