// The money ledger under any run of facts: status replies (escrow, stacked of
// any type, returned, idle, power-up), the unit's count, the bill table, ticks
// that place decisions and count reads, and silences long enough to lose the
// link. Whatever comes, the records the link hands out keep their books:
// - the credit total moves only by credit records, each the value of the
//   stacked record just before it;
// - one decision per escrow episode at most;
// - journalled, the records read back in order with seq strictly rising.
#include <vector>

#include "fuzz_input.h"
#include "link_rig.h"
#include "money/journal.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "protocol/status_bits.h"
#include "scratch_file.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::LinkRig;
using halvek::fuzz::ScratchFile;

namespace {

struct Ledger : StatusListener {
    explicit Ledger(JournalFile& j) : journal(j) {}
    void moneyEvent(const MoneyEvent& e) override {
        if (e.kind == MoneyKind::Escrow) decisions = 0;
        if (e.kind == MoneyKind::Decision) FUZZ_CHECK(++decisions <= 1, "an escrow episode was decided twice");
        if (e.kind == MoneyKind::Credit) {
            FUZZ_CHECK(last.kind == MoneyKind::Stacked && last.type == e.type && last.value == e.value && e.value >= 0,
                       "a credit without the stacked record of its bill");
            credited += e.value;
        }
        if (journal.append(e, "T")) ++journalled;
        last = e;
    }
    JournalFile& journal;
    MoneyEvent last{MoneyKind::Escrow};
    int decisions = 0;
    int64_t credited = 0;
    size_t journalled = 0;
};

std::vector<uint8_t> billTable(bool ext) {
    std::vector<uint8_t> d{8};
    for (uint8_t t = 1; t <= 4; ++t) {
        d.insert(d.end(), {t, 'E', 'U', 'R'});
        if (ext)
            d.insert(d.end(), {static_cast<uint8_t>(5 * t), 0});
        else
            d.push_back(static_cast<uint8_t>(0x50 + t));
    }
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const bool ext = in.flag();
    LinkRig rig(ext);
    const uint8_t none[1] = {0};
    ScratchFile file({none, 0});
    if (!file.ok()) return 0;
    JournalFile journal;
    FUZZ_CHECK(journal.open(file.path()), "a journal in memory could not be opened");
    Ledger ledger(journal);
    rig.controller.addStatusListener(&ledger);
    EscrowSettings& e = rig.stores.escrow;
    e.autoAccept = in.flag();
    e.creditLimitOn = true;
    e.creditLimit = in.flag() ? INT64_C(1) << 40 : 30;
    rig.controller.setStartupCountdown(0);

    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op % 6) {
            case 0:
            case 1: {
                // A status reply: escrow, stacked or neither, of a type 0-5, in one of the unit's states.
                static const uint8_t kStates[] = {status::kIdle,
                                                  status::kAccepting,
                                                  status::kStacking,
                                                  status::kReturning,
                                                  status::kRejected,
                                                  status::kPowerUp,
                                                  0};
                const uint8_t type = in.byte() % 6;
                const uint8_t bits = (op & 0x10) ? status::kEscrow : (op & 0x20) ? status::kStacked : 0;
                const uint8_t s1 = kStates[in.byte() % 7];
                std::vector<uint8_t> d{static_cast<uint8_t>(bits | (ext ? 0 : type)), s1, 0, type, 0, 0};
                if (!ext) d.resize(3);
                rig.deliverFrame(encodeFrame(ext, cmd::Status, d));
                break;
            }
            case 2:
                rig.tick();
                rig.writeWaiting();
                break;
            case 3: {
                // The unit's count, answering a count read if one went out.
                const uint8_t n = in.byte() % 8;
                rig.deliverFrame(encodeFrame(ext, cmd::ReadBillCounter, std::vector<uint8_t>{n, 0, 0}));
                break;
            }
            case 4:
                rig.deliverFrame(encodeFrame(ext, ext ? cmd::ReadCreditTable : cmd::ReadUnitOpt, billTable(ext)));
                break;
            case 5:
                // Silence: the link is lost, and found with the next reply.
                for (int i = 0; i < LinkController::kLostAfterMissedPolls + 2; ++i) {
                    rig.tick();
                    rig.writeWaiting();
                }
                break;
        }
        FUZZ_CHECK(e.creditTotal == ledger.credited, "the credit total is not the sum of the credit records");
    }
    journal.close();
    JournalReading read;
    std::string error;
    FUZZ_CHECK(readJournalFile(file.path(), 0, read, &error), "the journal could not be read back");
    FUZZ_CHECK(read.records.size() == ledger.journalled && read.unreadLines == 0,
               "the journal does not read back as written");
    for (size_t i = 1; i < read.records.size(); ++i)
        FUZZ_CHECK(read.records[i].seq > read.records[i - 1].seq, "a seq did not rise");
    return 0;
}
