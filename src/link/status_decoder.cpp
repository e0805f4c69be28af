// The status reply: the validator's state, the events, and the host's own
// reactions (page switches, refreshes, the listeners). What it shows of money
// goes to the settlement machine, whose records become events here.
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
    const int type = ext ? S[3] : (S[0] & kTypeOrReasonMask);
    StatusShown shown;
    shown.repeated = S == P;
    shown.type = type;
    syncSettlementRules();
    if (S != P) {
        // A rejection is reported on every changed reply while it lasts.
        if (S[1] & kRejected) {
            const uint8_t reason = S[0] & kTypeOrReasonMask;
            if (reason == kReasonFailedOptical && (lowerPage_ == page::VideoTest || lowerPage_ == page::QuickTest) &&
                diagnosticsAvailable_ && ext)
                requestDiagnostics(kVideoSelector);
            if (!(reason == kReasonStringing && st.setup.escrow)) addEvent(text::rejectionText(reason));
        }
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
        } else if (!(S[0] & kEscrow)) {
            st.escrow.billInEscrow = false;
        }
        shown.escrow = S[0] & kEscrow;
        shown.escrowQuiet = ext && (S[4] & kNoEscrowEvent);
        shown.stacked = stackedBit;
        shown.coupon = type == kCouponType;
        shown.accepting = S[1] & kAccepting;
        shown.stacking = S[1] & kStacking;
        shown.returning = S[1] & kReturning;
        shown.rejected = S[1] & kRejected;
        shown.powerUp = S[1] & kPowerUp;
        shown.idle = S[1] & kIdle;
        shown.countReadPending = requests_[cmd::ReadBillCounter] != RequestState::Idle;
        if (stackedBit && shown.coupon) {
            // Told with the coupon's stacked record, if the machine takes it for a new one.
            const size_t from = ext ? 11 : 6;
            const size_t trail = ext ? 13 : 7;
            const size_t count = std::min<size_t>(r.length() > trail ? r.length() - trail : 0, 47);
            couponCode_.clear();
            for (size_t i = 0; i < count && r.byte(from + i) != 0; ++i)
                couponCode_ += static_cast<char>(r.byte(from + i));
        }
        couponStacked_ = false;
        settlement_.statusShown(shown);
        if (couponStacked_)
            for (StatusListener* l : listeners_) l->couponStacked(couponCode_);
        if (stackedBit) {
            if (ext && lowerPage_ == page::VideoTest && diagnosticsAvailable_) requestDiagnostics(kVideoSelector);
            S[0] &= static_cast<uint8_t>(~kStacked);
        }
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
    // Unchanged, the reply says only that no bill shows stacked now.
    if (shown.repeated) settlement_.statusShown(shown);
    for (StatusListener* l : listeners_) l->statusDecoded(st.status);
}

// The escrow settings the window or the monitor set; who decides and what the
// credit counts (the service's choices) stay as they were set.
void LinkController::syncSettlementRules() {
    SettlementRules rules = settlement_.rules();
    const EscrowSettings& e = stores_.escrow;
    rules.autoAccept = e.autoAccept;
    rules.creditLimitOn = e.creditLimitOn;
    rules.creditLimit = e.creditLimit;
    settlement_.setRules(rules);
}

DecideResult LinkController::decideEscrow(EscrowAction action) {
    const DecideResult r = settlement_.decide(settlement_.episode().id, action, "operator");
    if (r != DecideResult::Taken)
        tellLink(std::string("\"escrow ") + escrowActionName(action) + "\" not sent: " + decideResultText(r));
    return r;
}

void LinkController::clearCredit() {
    settlement_.creditCleared();
    stores_.escrow.creditTotal = settlement_.creditTotal();
    refresh({View::Escrow});
}

void LinkController::billTableChanged() {
    BillValues values;
    values.loaded = stores_.bills.tableLoaded;
    for (int type = 1; type <= BillValues::kTypes; ++type)
        if (valueKnown(type)) values.value[static_cast<size_t>(type)] = stores_.bills.value(type);
    settlement_.billTable(values);
}

void LinkController::carryOut(const SettlementRequest& r) {
    switch (r.kind) {
        case SettlementRequest::Kind::ReadCount:
            request(cmd::ReadBillCounter);
            break;
        case SettlementRequest::Kind::ReadBillTable:
            requestBillTable();
            break;
        case SettlementRequest::Kind::SendDecision:
            request(r.action == EscrowAction::Accept ? cmd::EscrowAccept : cmd::EscrowReturn);
            break;
    }
}

// Each money record goes to the listeners; a stacked or doubtful bill is an event first.
void LinkController::takeMoneyRecord(const MoneyEvent& e) {
    stores_.escrow.creditTotal = e.creditTotal;
    const int64_t value = stores_.bills.value(e.type);
    if (e.kind == MoneyKind::Stacked) {
        switch (e.told) {
            case MoneyEvent::Told::AtOnce:
                addEvent(format("bill stacked : %s  %lld", billName(e.type), value));
                break;
            case MoneyEvent::Told::Late:
                addEvent(format("(cr) bill stacked : %s  %lld", billName(e.type), value));
                break;
            case MoneyEvent::Told::NotNamed:
                ++counters_.unnamedStacked;
                addEvent("bill stacked : type " + std::to_string(e.type) + " (not named: too many waiting)");
                break;
            case MoneyEvent::Told::Coupon:
                addEvent("coupon: " + shownCode(couponCode_));
                couponStacked_ = true;
                break;
        }
    } else if (e.kind == MoneyKind::InDoubt) {
        auto figure = [](int64_t n) { return n < 0 ? std::string("?") : std::to_string(n); };
        std::string what = e.value >= 0 ? format("bill in doubt : %s  %lld", billName(e.type), e.value)
                                        : "bill in doubt : type " + std::to_string(e.type);
        what += " (unit count " + figure(e.unitCount) + ", expected " + figure(e.expectedCount) + ")";
        addEvent(what);
    }
    for (StatusListener* l : listeners_) l->moneyEvent(e);
    if (e.kind == MoneyKind::Credit) refresh({View::Escrow});
}

}  // namespace halvek
