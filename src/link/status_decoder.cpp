// The status reply: the validator's state, the events, and the host's own
// reactions (escrow decision, page switches, ticket, refreshes).
#include <cstdio>

#include "link/link_controller.h"
#include "link/texts.h"
#include "protocol/catalogue.h"

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
    Stores& st = stores_;
    auto& S = st.status.current;
    auto& P = st.status.previous;
    const bool ext = r.extended();
    // 1. Beyond the frame every byte reads 0 (the standard layout has no S3-S5).
    for (size_t i = 0; i < 6; ++i) S[i] = (ext || i < 3) ? r.data(i) : 0;
    st.status.received = S;
    if (S != P) {
        // 3. Rejection, on every changed reply while it lasts.
        if (S[1] & 0x10) {
            const uint8_t reason = S[0] & 0x1F;
            if (reason == 0x07 && (lowerPage_ == page::VideoTest || lowerPage_ == page::QuickTest) &&
                diagnosticsAvailable_ && ext)
                requestDiagnostics(0xA1);
            if (!(reason == 0x0E && st.setup.escrow)) addEvent(text::rejectionText(reason));
        }
        // 4.
        const int type = ext ? S[3] : (S[0] & 0x1F);
        // 5. Escrow. The escrow bit is never remembered, so it is always new.
        if ((S[0] & 0x20) && !(ext && (S[4] & 0x01))) {
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
        } else if (!(S[0] & 0x20)) {
            st.escrow.billInEscrow = false;
        }
        // 6. Stacked.
        if (newlySet(S[0], P[0], 0x80)) {
            if (type == kCouponType) {
                const size_t from = ext ? 11 : 6;
                const size_t trail = ext ? 13 : 7;
                const size_t count = std::min<size_t>(r.length() > trail ? r.length() - trail : 0, 47);
                std::string coupon;
                for (size_t i = 0; i < count && r.byte(from + i) != 0; ++i)
                    coupon += static_cast<char>(r.byte(from + i));
                addEvent("coupon: " + coupon);
                if (printerOpen_) ui_.printCouponTicket(coupon);
                if (acceptAllActive_) ui_.stopAcceptAll();
            } else if (st.bills.tableLoaded) {
                addEvent(format("bill stacked : %s  %d", billName(type), stores_.bills.value(type)));
            } else {
                st.deferredStacked = true;
                st.deferredStackedType = type;
            }
            if (ext && lowerPage_ == page::VideoTest && diagnosticsAvailable_) requestDiagnostics(0xA1);
            S[0] &= static_cast<uint8_t>(~0x80);
        }
        // 7-12. Faults of the bill path and the stacker.
        if (newlySet(S[2], P[2], 0x10)) addEvent("power up with bill");
        if (newlySet(S[2], P[2], 0x20)) addEvent("communication time out");
        if ((S[2] ^ P[2]) & 0x04) addEvent((S[2] & 0x04) ? "stacker detached" : "stacker attached");
        if (newlySet(S[2], P[2], 0x08)) addEvent("stacker full");
        if (newlySet(S[2], P[2], 0x02)) addEvent("stacker jam");
        if (newlySet(S[2], P[2], 0x01)) addEvent("bill jam");
        // 13. Inhibit; a VLA run that ends inhibited has failed.
        if (S[2] & 0x80) {
            if (lowerPage_ == page::VideoTest && st.vlaRunning) {
                st.vlaRunning = false;
                selectPage(TabRow::Lower, page::CommandStatus, true);
                ui_.showMessage({text::kWarning, text::kVlaFailed, Buttons::Ok, Icon::Warning});
            }
            if (newlySet(S[2], P[2], 0x80)) addEvent("unit inhibited");
        }
        // 14.
        if (newlySet(S[2], P[2], 0x40)) addEvent("unit disabled");
        // 15. Power-up; a VLA run ends with a reset.
        if (S[1] & 0x40) {
            if (newlySet(S[1], P[1], 0x40)) addEvent("power on reset");
            if (st.vlaRunning) {
                st.vlaRunning = false;
                if (diagnosticsAvailable_) requestDiagnostics(0xA1);
                upperPage_ = page::Setup;
                ui_.showPage(TabRow::Upper, page::Setup, false);
                startupCountdown_ = kStartupReads;
            }
        }
        // 16-17.
        if ((S[1] & 0x01) && (P[2] & 0xC0)) addEvent("unit ready");
        if (newlySet(S[1], P[1], 0x04)) addEvent("returning bill");
        // 18. Refresh the page shown.
        if (lowerPage_ == page::CommandStatus) {
            st.panes.statusDirty = true;
            ui_.repaintDrawingArea(false);
        } else if (lowerPage_ == page::Statistics && newlySet(S[1], P[1], 0x01)) {
            statsRefreshCountdown_ = 1;
            st.statistics.lastBillType = static_cast<uint8_t>(type);
        }
    }
    // 19.
    if (lowerPage_ == page::ViewData) ui_.repaintDrawingArea(false);
    P = S;
    S[0] &= static_cast<uint8_t>(~0x20);
    P[0] &= static_cast<uint8_t>(~0x20);
    // 20. A bill stacked before the table was known is reported now.
    if (st.deferredStacked && st.bills.tableLoaded) {
        addEvent(format("(cr) bill stacked : %s  %d", billName(st.deferredStackedType),
                        stores_.bills.value(st.deferredStackedType)));
        st.deferredStacked = false;
    }
}

}  // namespace halvek
