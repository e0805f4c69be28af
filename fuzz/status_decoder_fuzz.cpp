// The status decoding with arbitrary stores: any bill values, credit settings,
// pages, earlier status bytes and modes, then status replies (right, changed
// or of any length) and ticks in between, so the host's own escrow decisions
// leave as frames.
#include <vector>

#include "fuzz_input.h"
#include "link_rig.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::LinkRig;

namespace {

void arbitraryStores(LinkRig& rig, FuzzInput& in) {
    Stores& s = rig.stores;
    for (int k = in.byte() % 8; k > 0; --k) {
        const size_t type = in.byte() % size_t{kBillTypes + 1};
        if (type == 0) continue;
        s.bills.table[type - 1] = {static_cast<uint8_t>(type), in.byte(), in.byte(), in.byte(), 0, 0};
        s.bills.values[type] = in.i32();
    }
    const uint8_t f = in.byte();
    s.bills.tableLoaded = f & 0x01;
    s.escrow.autoAccept = f & 0x02;
    s.escrow.creditLimitOn = f & 0x04;
    s.escrow.billInEscrow = f & 0x08;
    s.setup.escrow = f & 0x10;
    rig.controller.setVlaRunning(f & 0x20);
    rig.controller.setDiagnosticsAvailable(f & 0x40);
    rig.controller.setInterruptMode(f & 0x80);
    s.escrow.creditLimit = in.i32();
    in.i32();  // once a credit total; the settlement machine's starts at 0 (the seeds keep their layout)
    s.escrow.escrowValue = in.i32();
    rig.controller.billTableChanged();
    for (auto& b : s.status.previous) b = in.byte();
    rig.controller.selectPage(TabRow::Lower, in.byte() % 7, true);
    rig.controller.selectPage(TabRow::Upper, in.byte() % 8, true);
    rig.controller.setStartupCountdown(in.byte() % 13);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    LinkRig rig(in.flag());
    arbitraryStores(rig, in);
    const bool ext = rig.block.extendedMode.load();
    while (!in.done()) {
        switch (in.byte() % 4) {
            case 0: {
                // A status reply as the validator sends it: its bytes, perhaps a coupon's text.
                const size_t n = in.byte() % 64;
                std::vector<uint8_t> frame = encodeFrame(ext, cmd::Status, in.bytes(n));
                rig.deliverFrame(frame);
                break;
            }
            case 1: {
                // The same, with one byte changed on the way.
                std::vector<uint8_t> frame = encodeFrame(ext, cmd::Status, in.bytes(in.byte() % 16));
                frame[in.byte() % frame.size()] ^= static_cast<uint8_t>(in.byte() | 1);
                rig.deliverFrame(frame);
                break;
            }
            case 2:
                rig.tick();
                rig.writeWaiting();
                break;
            case 3:
                // The user presses a button of the escrow page or the bill list.
                rig.userRequest(in.flag() ? cmd::EscrowAccept : cmd::EscrowReturn);
                break;
        }
    }
    return 0;
}
