#include "link_rig.h"

#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "known_faults.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "protocol/status_bits.h"

namespace halvek::fuzz {
namespace {

// HALVEK_FUZZ_TRACE=1 prints every frame written and delivered, for looking into a finding.
bool tracing() {
    static const bool on = std::getenv("HALVEK_FUZZ_TRACE") != nullptr;
    return on;
}

void trace(const char* what, const uint8_t* bytes, size_t n) {
    if (!tracing()) return;
    std::fprintf(stderr, "%s", what);
    for (size_t i = 0; i < n; ++i) std::fprintf(stderr, " %02X", bytes[i]);
    std::fprintf(stderr, "\n");
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool isMoneyEvent(const std::string& line) {
    return startsWith(line, "bill stacked") || startsWith(line, "(cr) bill stacked") || startsWith(line, "coupon: ");
}

// The events added since the counter stood at `before` (as many as the list still shows).
std::vector<std::string> newEvents(const EventList& events, uint32_t before) {
    const auto& lines = events.lines();
    size_t filled = 0;
    while (filled < lines.size() && !lines[filled].empty()) ++filled;
    size_t added = events.counter() - before;
    if (added > filled) added = filled;
    return {lines.begin() + static_cast<std::ptrdiff_t>(filled - added),
            lines.begin() + static_cast<std::ptrdiff_t>(filled)};
}

}  // namespace

LinkRig::LinkRig(bool extended) {
    block.extendedMode.store(extended);
    controller.addStatusListener(this);
}

LinkRig::~LinkRig() { controller.removeStatusListener(this); }

void LinkRig::couponStacked(const std::string&) { ++coupons_; }

void LinkRig::userRequest(uint8_t code) {
    // The escrow page's buttons decide through the settlement machine.
    if (code == cmd::EscrowAccept || code == cmd::EscrowReturn) {
        const EscrowAction action = code == cmd::EscrowAccept ? EscrowAction::Accept : EscrowAction::Return;
        if (controller.decideEscrow(action) == DecideResult::Taken && code == cmd::EscrowAccept)
            userAskedAccept_ = true;
        return;
    }
    controller.request(code);
}

void LinkRig::tick() {
    const EscrowSettings& e = stores.escrow;
    const bool limited = e.creditLimitOn && e.creditTotal <= e.creditLimit && !userAskedAccept_;
    const int64_t limit = e.creditLimit;
    const bool wasFree = block.transmitFree();
    controller.onTick();
    const bool ext = block.extendedMode.load();
    if (wasFree && block.transmitLength.load() >= smallestFrameSize(ext) &&
        block.transmitBuffer[codeOffset(ext)] == cmd::EscrowAccept) {
        FUZZ_CHECK(escrowOffered_ || userAskedAccept_, "an escrow accept left without a bill in escrow");
        escrowOffered_ = userAskedAccept_ = false;
    }
    if (limited && e.creditLimitOn && e.creditLimit == limit && !knownFaultOpen(KnownFault::CreditPassesLimit))
        FUZZ_CHECK(e.creditTotal <= e.creditLimit, "the credited total passed the credit limit");
}

void LinkRig::writeWaiting() {
    const size_t length = block.transmitLength.load();
    if (length == 0) return;
    trace("written:", block.transmitBuffer.data(), length);
    std::vector<uint8_t> sent(block.transmitBuffer.begin(), block.transmitBuffer.begin() + static_cast<long>(length));
    block.transmitLength.store(0);
    block.awaitingReply.store(true);
    framers.onCommandWritten(sent.data(), sent.size(), *this);
}

void LinkRig::receive(std::span<const uint8_t> chunk) {
    // A byte whose value is 0xFF also stands for one the line damaged, so
    // the damaged-byte path is driven by the input too.
    std::unique_ptr<bool[]> damaged(new bool[chunk.size() + 1]());
    for (size_t i = 0; i < chunk.size(); ++i) damaged[i] = chunk[i] == 0xFF && (i & 1);
    framers.feed(chunk.data(), damaged.get(), chunk.size(), *this, 0);
}

void LinkRig::resetFramers() {
    block.awaitingReply.store(false);
    block.transmitLength.store(0);
    framers.reset();
}

void LinkRig::deliverFrame(std::span<const uint8_t> frame) {
    // The framer hands over only frames whose header it could read and whose
    // announced length the buffer holds; anything else is dropped there.
    const bool ext = block.extendedMode.load();
    if (frame.size() < smallestFrameSize(ext)) return;
    const size_t announced = announcedLength(frame.data(), ext);
    if (announced < smallestFrameSize(ext) || announced > kReceiveBufferSize) return;
    const size_t n = frame.size() < kReceiveBufferSize ? frame.size() : kReceiveBufferSize;
    std::copy(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n), block.receiveBuffer.begin());
    block.receiveExtended.store(ext);
    deliver(Notification::ReplyReady);
}

bool LinkRig::deliver(Notification n) {
    const uint32_t eventsBefore = stores.events.counter();
    const int couponsBefore = coupons_;
    if (n != Notification::ReplyReady) {
        controller.onNotification(n);
        FUZZ_CHECK(stores.events.counter() == eventsBefore, "a firmware transfer notification made an event");
        return true;
    }
    ++replies;
    const bool ext = block.receiveExtended.load();
    uint8_t* buf = block.receiveBuffer.data();
    size_t length = announcedLength(buf, ext);
    if (length > kReceiveBufferSize) length = kReceiveBufferSize;
    // Everything after the frame is out of bounds for the controller.
    trace(ext ? "delivering (long):" : "delivering (short):", buf, length < 8 ? 8 : length);
    ASAN_POISON_MEMORY_REGION(buf + length, kReceiveBufferSize - length);
    controller.onNotification(n);
    ASAN_UNPOISON_MEMORY_REGION(buf + length, kReceiveBufferSize - length);
    trace("delivered:", buf, length);
    checkReply({buf, length}, eventsBefore, couponsBefore);
    return true;
}

void LinkRig::checkReply(std::span<const uint8_t> frame, uint32_t eventsBefore, int couponsBefore) {
    const bool ext = block.receiveExtended.load();
    const bool whole = frame.size() >= smallestFrameSize(ext);
    const bool status = whole && frame[codeOffset(ext)] == cmd::Status;
    const bool trusted = status && checksumValid(frame.data(), frame.size(), ext);
    const uint8_t s0 = whole && frame.size() > dataOffset(ext) + checksumSize(ext) ? frame[dataOffset(ext)] : 0;
    if (trusted && (s0 & status::kStacked)) ++stackedStatuses;
    if (trusted && (s0 & status::kEscrow)) escrowOffered_ = true;
    // Bills stacked while the table was unknown are told with the table's reply;
    // an accepted bill whose stacked report was lost, with the unit's count.
    const uint8_t code = whole ? frame[codeOffset(ext)] : 0;
    const bool sound = whole && checksumValid(frame.data(), frame.size(), ext);
    const bool tableReply = sound && (code == cmd::ReadCreditTable || code == cmd::ReadUnitOpt);
    const bool countReply = sound && code == cmd::ReadBillCounter;
    if (countReply) {
        const uint32_t count = stores.counters.lifeCount;
        if (countSeen_ && count > lastCount_) countRises += count - lastCount_;
        countSeen_ = true;
        lastCount_ = count;
    }

    int money = 0;
    for (const std::string& line : newEvents(stores.events, eventsBefore))
        if (isMoneyEvent(line)) ++money;
    moneyEvents += money;
    FUZZ_CHECK(money == 0 || trusted || tableReply || countReply,
               "a money event came from a reply that is not a sound status, bill table or count reply");
    FUZZ_CHECK(moneyEvents <= stackedStatuses + countRises,
               "more money events than status replies that said stacked and rises of the unit's count");
    // A reply can add more events than the list shows; the coupon check needs them all.
    if (stores.events.counter() - eventsBefore <= EventList::kLines)
        FUZZ_CHECK(coupons_ - couponsBefore <= money, "a coupon was printed without its money event");
}

}  // namespace halvek::fuzz
