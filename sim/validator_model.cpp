#include "validator_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <type_traits>

#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "responders.h"
#include "scenario.h"
#include "sim/loader/program_image.h"
#include "unit_bits.h"

namespace halvek::sim {
namespace {

constexpr int kAcceptMs = 400;
constexpr int kStackMs = 600;
constexpr int kReturnMs = 600;
constexpr int kRejectMs = 700;
constexpr int kPowerUpMs = 1500;
constexpr int kVlaMs = 3000;
constexpr int kPollRequestMs = 2000;
constexpr uint8_t kAccepted = 0xFF;  // rejection reason of a bill that is taken

std::string hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (uint8_t x : b) {
        std::snprintf(buf, sizeof buf, "%02X ", x);
        s += buf;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

// A coupon code may hold any bytes; the log shows the unprintable ones as dots.
std::string printable(std::string text) {
    for (char& c : text)
        if (!std::isprint(static_cast<unsigned char>(c))) c = '.';
    return text;
}

// Statistics event number counted for a rejection reason.
int eventForReason(uint8_t code) {
    switch (code) {
        case 0x00:  // returned before it was evaluated
            return 1;
        case 0x07:
            return 2;
        case reason::DenominationDisabled:
        case reason::AllDisabled:
            return 3;
        case 0x0B:
            return 6;
        case 0x0E:
            return 9;
        case reason::UnableToEject:
            return 12;
        case 0x12:
            return 18;
        default:
            return 4;
    }
}

// The bits an event burst sets, in the order it takes them; each one is an
// event line at the host when it is new. The rejection gives "unable to eject".
struct BurstBit {
    size_t byte;
    uint8_t bit;
    bool everyTime;  // the host reports it on every changed reply, not only when new
};
// clang-format off
constexpr BurstBit kBurst[] = {
    {1, s1::Rejected, true},
    {2, s2::BillJam, false},
    {2, s2::StackerJam, false},
    {2, s2::Full, false},
    {2, s2::Detached, false},
    {2, s2::CommTimeout, false},
    {2, s2::Disabled, false},
    {2, s2::Inhibited, false},
    {1, s1::Returning, false},
    {2, s2::PowerUpWithBill, false},
    {1, s1::PowerUp, false},
};
// clang-format on
constexpr uint8_t kBurstReason = reason::UnableToEject;

}  // namespace

// normalData() answers on a copy of the unit; whatever the unit comes to hold must copy.
static_assert(std::is_copy_constructible_v<ValidatorModel>);

int maxEventBurst() { return static_cast<int>(std::size(kBurst)); }

ValidatorModel::ValidatorModel(SimOptions options, int64_t nowMs) : options_(options) {
    memory_.crc.setBusyMs(options.crcBusyMs);
    memory_.program = program::standard(options.variant == Variant::L8V ? "L8VQA034" : "L8-QA034");
    memory_.crc.setProgramImage(memory_.program.toBytes());
    lastReported_ = statusBytes();
    lastPollRequest_ = nowMs;
}

void ValidatorModel::say(const std::string& text) const {
    if (log) log(text);
}

std::vector<Bytes> ValidatorModel::takeOutput() {
    std::vector<Bytes> out;
    out.swap(outbox_);
    return out;
}

std::array<uint8_t, 6> ValidatorModel::statusBytes() const {
    std::array<uint8_t, 6> s{};
    const bool disabled = !memory_.anyEnabled();
    const bool inhibited = memory_.setup & setupbit::Inhibit;
    switch (phase_) {
        case Phase::PowerUp:
            s[1] = s1::PowerUp;
            break;
        case Phase::Idle:
            s[1] = (disabled || inhibited) ? 0x00 : s1::Idle;
            break;
        case Phase::Accepting:
        case Phase::Vla:
            s[1] = s1::Accepting;
            break;
        case Phase::Escrow:
            s[0] = s0::Escrow;
            break;
        case Phase::Stacking:
            s[1] = s1::Stacking;
            break;
        case Phase::Returning:
            s[1] = s1::Returning;
            break;
        case Phase::Rejecting:
            s[1] = s1::Rejected;
            s[0] = rejectReason_ & s0::TypeOrReason;
            break;
    }
    int type = phase_ == Phase::Escrow || phase_ == Phase::Stacking ? billType_ : 0;
    if (stackedReports_ > 0) {
        s[0] |= s0::Stacked;
        type = stackedType_;
    }
    if (type != 0) {
        if (!extendedLast_) s[0] |= static_cast<uint8_t>(type & s0::TypeOrReason);
        s[3] = static_cast<uint8_t>(type);
    }
    const Conditions& c = conditions_;
    s[2] = static_cast<uint8_t>(
        (c.billJam ? s2::BillJam : 0) | (c.stackerJam ? s2::StackerJam : 0) | (c.detached ? s2::Detached : 0) |
        (c.full ? s2::Full : 0) | (phase_ == Phase::PowerUp && powerUpWithBill_ ? s2::PowerUpWithBill : 0) |
        (c.commTimeout ? s2::CommTimeout : 0) | (disabled ? s2::Disabled : 0) | (inhibited ? s2::Inhibited : 0));
    return s;
}

void ValidatorModel::addEventBurst(std::array<uint8_t, 6>& s) {
    int added = 0;
    for (const BurstBit& b : kBurst) {
        if (added == quirks_.eventBurst) break;
        if (!b.everyTime && (lastReported_[b.byte] & b.bit)) continue;
        if (b.byte == 1 && b.bit == s1::Rejected)
            s[0] = static_cast<uint8_t>((s[0] & ~s0::TypeOrReason) | kBurstReason);
        s[b.byte] |= b.bit;
        ++added;
    }
    say("fault: status carries " + std::to_string(added) + " new events at once");
    quirks_.eventBurst = 0;
}

Bytes ValidatorModel::statusReply() {
    auto s = statusBytes();
    if (quirks_.eventBurst > 0) addEventBurst(s);
    Bytes d = extendedLast_ ? Bytes(s.begin(), s.end()) : Bytes(s.begin(), s.begin() + 3);
    if (stackedReports_ > 0) {
        if (stackedType_ == 16) d.insert(d.end(), stackedCoupon_.begin(), stackedCoupon_.end());
        --stackedReports_;
    }
    lastReported_ = s;
    return d;
}

void ValidatorModel::emit(uint8_t code, Bytes data, bool extended) {
    if (quirks_.longReply && quirks_.longReply->code == code) {
        data.resize(quirks_.longReply->length - smallestFrameSize(true));
        extended = true;
        say("fault: a long reply of " + std::to_string(quirks_.longReply->length) + " bytes");
        quirks_.longReply.reset();
    }
    outbox_.push_back(line_.shape(encodeFrame(extended, code, data), extended, [this](auto& t) { say(t); }));
}

void ValidatorModel::reply(uint8_t code, const Bytes& data) { emit(code, data, extendedLast_); }

void ValidatorModel::replyExtended(uint8_t code, const Bytes& data) { emit(code, data, true); }

void ValidatorModel::sendRaw(Bytes bytes) { outbox_.push_back(std::move(bytes)); }

void ValidatorModel::respond(uint8_t code, const Bytes& data, int64_t now) {
    if (const Responder* r = findResponder(code))
        r->respond(*this, Request{code, data, now});
    else
        reply(cmd::Unsupported);
}

Bytes ValidatorModel::normalData(uint8_t code, int64_t now) const {
    // A copy answers, so that nothing the answer touches changes in this unit.
    ValidatorModel copy(*this);
    copy.log = nullptr;
    copy.line_ = LineFaults{};
    copy.quirks_ = ReplyQuirks{};
    copy.outbox_.clear();
    copy.respond(code, {}, now);
    if (copy.outbox_.empty()) return {};
    const Bytes& f = copy.outbox_.front();
    const bool extended = f.size() > 1 && f[1] == 0x00;
    if (f.size() < smallestFrameSize(extended)) return {};
    return Bytes(f.begin() + static_cast<long>(dataOffset(extended)), f.end() - (extended ? 2 : 1));
}

void ValidatorModel::enter(Phase p, int64_t now, int durationMs) {
    phase_ = p;
    phaseEnd_ = durationMs > 0 ? now + durationMs : -1;
}

void ValidatorModel::stack(int64_t now) {
    stackedReports_ = std::max(quirks_.stackedRepeats, 1);
    quirks_.stackedRepeats = 1;
    stackedType_ = billType_;
    stackedCoupon_ = coupon_;
    memory_.countStacked(billType_);
    say("bill type " + std::to_string(billType_) + " stacked");
    billType_ = 0;
    coupon_.clear();
    enter(Phase::Idle, now, 0);
}

void ValidatorModel::finishPhase(int64_t now) {
    switch (phase_) {
        case Phase::Accepting:
            if (rejectReason_ != kAccepted) {
                enter(Phase::Rejecting, now, kRejectMs);
                memory_.countEvent(eventForReason(rejectReason_));
                say("bill rejected, reason " + std::to_string(rejectReason_));
            } else if (memory_.setup & setupbit::EscrowOn) {
                enter(Phase::Escrow, now, options_.escrowTimeoutMs);
                say("bill type " + std::to_string(billType_) + " in escrow");
            } else {
                enter(Phase::Stacking, now, kStackMs);
            }
            break;
        case Phase::Escrow:
            say("escrow timed out: returning the bill");
            enter(Phase::Returning, now, kReturnMs);
            break;
        case Phase::Stacking:
            stack(now);
            break;
        case Phase::Vla:
            if (options_.failVla) {
                memory_.setup |= setupbit::Inhibit;
                vlaInhibit_ = true;
                enter(Phase::Idle, now, 0);
                say("VLA failed: unit inhibited");
            } else {
                powerCycle(now, false);
                say("VLA done: unit resets");
            }
            break;
        case Phase::PowerUp:
        case Phase::Returning:
        case Phase::Rejecting:
            billType_ = 0;
            coupon_.clear();
            enter(Phase::Idle, now, 0);
            break;
        case Phase::Idle:
            break;
    }
}

void ValidatorModel::advance(int64_t now) {
    if (line_.endSilence(now)) say("speaking again");
    while (phaseEnd_ >= 0 && now >= phaseEnd_) finishPhase(now);
    if (!interruptMode() || line_.silent()) return;
    if (statusBytes() != lastReported_ || stackedReports_ > 0 || quirks_.eventBurst > 0) {
        reply(cmd::Status, statusReply());
    } else if (phase_ == Phase::Escrow && now - lastPollRequest_ >= kPollRequestMs) {
        reply(cmd::PollNow);
        lastPollRequest_ = now;
    }
}

int64_t ValidatorModel::nextEventMs() const {
    int64_t next = phaseEnd_;
    auto earlier = [&next](int64_t t) {
        if (t >= 0 && (next < 0 || t < next)) next = t;
    };
    earlier(line_.silentUntil());
    if (interruptMode() && phase_ == Phase::Escrow) earlier(lastPollRequest_ + kPollRequestMs);
    return next;
}

void ValidatorModel::handleFrame(const Bytes& frame, int64_t now) {
    // An echoing line returns the frame before the unit can answer it, whatever the unit does.
    if (line_.echo) sendRaw(frame);
    if (frame.size() < 4 || frame[0] != kStx) return;
    const bool extended = frame[1] == 0x00;
    if (frame.size() < smallestFrameSize(extended)) return;
    const uint8_t code = frame[codeOffset(extended)];
    const Bytes data(frame.begin() + static_cast<long>(dataOffset(extended)), frame.end() - (extended ? 2 : 1));
    const CommandInfo* info = findCommand(code);
    say(std::string("<- ") + (extended ? "Q7E " : "Q7 ") + hex(Bytes{code}) + " " +
        (code == cmd::Status ? "status"
         : info              ? info->name
                             : "unknown") +
        (data.empty() ? "" : " [" + hex(data) + "]"));
    advance(now);
    if (line_.silent()) return;
    if (!checksumValid(frame.data(), frame.size(), extended)) {
        say("checksum wrong: frame ignored");
        return;
    }
    const LineFaults::Intake intake = line_.intake(code);
    if (intake == LineFaults::Intake::Lost) {
        say("fault: frame lost on the way in");
        return;
    }
    extendedLast_ = extended;
    if (intake == LineFaults::Intake::Ignored) return;
    if (intake == LineFaults::Intake::Refused) return reply(cmd::Unsupported);
    respond(code, data, now);
    if (code == cmd::Status && quirks_.unasked) {
        const ReplyQuirks::Unasked u = *quirks_.unasked;
        quirks_.unasked.reset();
        say("fault: an unasked reply " + hex(Bytes{u.code}));
        reply(u.code, u.data ? *u.data : normalData(u.code, now));
    }
}

void ValidatorModel::powerCycle(int64_t now, bool withBill) {
    billType_ = 0;
    coupon_.clear();
    stackedReports_ = 0;
    powerUpWithBill_ = withBill;
    // A failed VLA holds the unit only until the power is reset.
    if (vlaInhibit_) memory_.setup &= static_cast<uint8_t>(~setupbit::Inhibit);
    vlaInhibit_ = false;
    enter(Phase::PowerUp, now, kPowerUpMs);
    say(withBill ? "power up with a bill in the path" : "power up");
}

std::string ValidatorModel::insert(int type, const std::string& coupon, int64_t now) {
    if (type < 1 || type > 64) return "bill type must be 1 to 64";
    if (phase_ != Phase::Idle) return "the validator is busy";
    const Conditions& c = conditions_;
    if (c.detached || c.full || c.billJam || c.stackerJam)
        return "the validator cannot take a bill now (stacker or jam)";
    billType_ = type;
    coupon_ = coupon;
    if (memory_.setup & setupbit::Inhibit || !memory_.anyEnabled())
        rejectReason_ = reason::AllDisabled;
    else if (!enabled(type) && !memory_.acceptAll.active(now))  // accept-all takes disabled bills too
        rejectReason_ = reason::DenominationDisabled;
    else
        rejectReason_ = kAccepted;
    enter(Phase::Accepting, now, kAcceptMs);
    say(type == 16 ? "coupon " + printable(coupon) + " inserted" : "bill type " + std::to_string(type) + " inserted");
    return "";
}

std::string ValidatorModel::startReject(uint8_t reason, int64_t now) {
    if (phase_ != Phase::Idle) return "the validator is busy";
    billType_ = 0;
    rejectReason_ = reason;
    enter(Phase::Accepting, now, kAcceptMs);
    return "";
}

void ValidatorModel::acceptEscrow(int64_t now) {
    if (phase_ == Phase::Escrow) enter(Phase::Stacking, now, kStackMs);
}

void ValidatorModel::returnEscrow(int64_t now) {
    if (phase_ != Phase::Escrow) return;
    enter(Phase::Returning, now, kReturnMs);
    memory_.countEvent(18);
}

void ValidatorModel::restartEscrow(int64_t now) {
    if (phase_ == Phase::Escrow) phaseEnd_ = now + options_.escrowTimeoutMs;
}

void ValidatorModel::startVla(int64_t now) {
    enter(Phase::Vla, now, kVlaMs);
    say("VLA running");
}

std::string ValidatorModel::execute(const std::string& line, int64_t nowMs) { return runScenario(*this, line, nowMs); }

const std::string& ValidatorModel::scenarioHelp() { return sim::scenarioHelp(); }

void ValidatorModel::loadProgram(const FirmwareFile& program) {
    memory_.program = program;
    memory_.crc.setProgramImage(program.toBytes());
    say("program loaded: revision " + program::revisionOf(program.header) + ", " +
        std::to_string(program.records.size()) + " blocks");
}

}  // namespace halvek::sim
