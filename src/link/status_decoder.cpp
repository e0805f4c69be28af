// The status reply: the validator's state, the events, and the host's own
// reactions (escrow decision, page switches, ticket, refreshes).
#include <cstdio>

#include "link/link_controller.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "protocol/status_bits.h"

namespace halvek {
namespace {

std::string format(const char* pattern, const std::string& name, int32_t value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, pattern, name.c_str(), value);
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

void LinkController::decodeStatus(const Reply& r) {
    using namespace status;
    Stores& st = stores_;
    auto& S = st.status.current;
    auto& P = st.status.previous;
    const bool ext = r.extended();
    // Beyond the frame every byte reads 0 (the standard layout has no S3-S5).
    for (size_t i = 0; i < 6; ++i) S[i] = (ext || i < 3) ? r.data(i) : 0;
    st.status.received = S;
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
            const int32_t value = stores_.bills.value(type);
            addEvent(type == kCouponType ? "coupon in escrow "
                                         : format("bill in escrow : %s  %d", billName(type), value));
            st.escrow.billInEscrow = true;
            if (upperPage_ != page::Escrow) selectPage(TabRow::Upper, page::Escrow, true);
            st.escrow.escrowValue = value;
            // Until the bill table is known the bill's value is not: deciding then would
            // credit it as 0 and slip past the credit limit. The bill waits in escrow, and
            // the next status reply (escrow is reported on every one) decides.
            const EscrowSettings& e = st.escrow;
            const bool over = static_cast<int64_t>(e.creditTotal) + value > e.creditLimit;
            if (!st.bills.tableLoaded) {
            } else if (e.autoAccept && !(e.creditLimitOn && over)) {
                request(cmd::EscrowAccept);
            } else if (e.creditLimitOn && over) {
                request(cmd::EscrowReturn);
            }
        } else if (!(S[0] & kEscrow)) {
            st.escrow.billInEscrow = false;
        }
        if (newlySet(S[0], P[0], kStacked)) {
            if (type == kCouponType) {
                const size_t from = ext ? 11 : 6;
                const size_t trail = ext ? 13 : 7;
                const size_t count = std::min<size_t>(r.length() > trail ? r.length() - trail : 0, 47);
                std::string coupon;
                for (size_t i = 0; i < count && r.byte(from + i) != 0; ++i)
                    coupon += static_cast<char>(r.byte(from + i));
                addEvent("coupon: " + coupon);
                for (StatusListener* l : listeners_) l->couponStacked(coupon);
            } else if (st.bills.tableLoaded) {
                addEvent(format("bill stacked : %s  %d", billName(type), stores_.bills.value(type)));
            } else {
                deferredStacked_ = true;
                deferredStackedType_ = type;
            }
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
    // A bill stacked before the table was known is reported now.
    if (deferredStacked_ && st.bills.tableLoaded) {
        addEvent(format("(cr) bill stacked : %s  %d", billName(deferredStackedType_),
                        stores_.bills.value(deferredStackedType_)));
        deferredStacked_ = false;
    }
    for (StatusListener* l : listeners_) l->statusDecoded(st.status);
}

}  // namespace halvek
