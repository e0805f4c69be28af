// The reply reassembly and dispatch in every receive mode: the input is a
// script of ticks, frames written, bytes received in chunks, requests, mode
// changes and page changes, run against the framers and the controller as the
// reader thread and the poll timer would run them.
#include <vector>

#include "fuzz_input.h"
#include "link_rig.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::LinkRig;

namespace {

// Seven notes and the coupon, in the layout of the link's mode.
void loadBillTable(LinkRig& rig, FuzzInput& in) {
    const bool ext = rig.block.extendedMode.load();
    for (uint8_t t = 1; t <= 7; ++t)
        rig.stores.bills.table[t - 1] = {t, 'E', 'U', 'R', in.byte(), ext ? in.byte() : uint8_t{0}};
    rig.stores.bills.table[kCouponType - 1] = {kCouponType, 'C', 'P', 'N', 1, 0};
    rig.stores.bills.recomputeValues(ext);
    rig.stores.bills.tableLoaded = true;
    rig.controller.billTableChanged();
}

// A frame built right, then perhaps changed in one byte, and received in two chunks.
void receiveFrame(LinkRig& rig, FuzzInput& in, uint8_t code) {
    const size_t n = in.byte() % 64;
    std::vector<uint8_t> frame = encodeFrame(rig.block.extendedMode.load(), code, in.bytes(n));
    const uint8_t change = in.byte();
    if (change & 0x80) frame[change % frame.size()] ^= in.byte();
    const size_t cut = in.byte() % (frame.size() + 1);
    rig.receive({frame.data(), cut});
    rig.receive({frame.data() + cut, frame.size() - cut});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    LinkRig rig(in.flag());
    const uint8_t setup = in.byte();
    if (setup & 0x01) loadBillTable(rig, in);
    rig.stores.escrow.autoAccept = setup & 0x02;
    rig.stores.escrow.creditLimitOn = setup & 0x04;
    rig.stores.escrow.creditLimit = in.u16();
    rig.controller.setInterruptMode(setup & 0x08);
    if (setup & 0x10) rig.controller.setStartupCountdown(0);

    while (!in.done()) {
        switch (in.byte() % 12) {
            case 0:
                rig.tick();
                break;
            case 1:
                rig.writeWaiting();
                break;
            case 2:
                rig.receive(in.bytes(in.byte()));
                break;
            case 3:
                receiveFrame(rig, in, in.byte());
                break;
            case 4:
                receiveFrame(rig, in, cmd::Status);
                break;
            case 5:
                rig.userRequest(in.byte());
                break;
            case 6:
                rig.setReceiveMode(static_cast<ReceiveMode>(in.byte() % 3));
                break;
            case 7:
                rig.block.downloadStep.store(in.byte());
                rig.block.downloadReplyLength.store(in.byte());
                break;
            case 8:
                rig.controller.setInterruptMode(in.flag());
                break;
            case 9:
                rig.controller.selectPage(in.flag() ? TabRow::Lower : TabRow::Upper, in.byte() % 8, true);
                break;
            case 10:
                rig.resetFramers();
                break;
            case 11:
                // The mode can change only while the line is closed; reopening it starts the framers afresh.
                rig.controller.setExtendedMode(in.flag());
                rig.resetFramers();
                break;
        }
    }
    return 0;
}
