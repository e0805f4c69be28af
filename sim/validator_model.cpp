#include "validator_model.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "firmware/crc.h"
#include "loader/program_image.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"

namespace halvek::sim {
namespace {

constexpr int kAcceptMs = 400;
constexpr int kStackMs = 600;
constexpr int kReturnMs = 600;
constexpr int kRejectMs = 700;
constexpr int kPowerUpMs = 1500;
constexpr int kVlaMs = 3000;
constexpr int kPollRequestMs = 2000;

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

// Statistics event number counted for a rejection reason.
int eventForReason(uint8_t reason) {
    switch (reason) {
        case 0x07:
            return 2;
        case 0x08:
        case 0x10:
            return 3;
        case 0x0B:
            return 6;
        case 0x0E:
            return 9;
        case 0x0F:
            return 12;
        case 0x12:
            return 18;
        default:
            return 4;
    }
}

}  // namespace

ValidatorModel::ValidatorModel(SimOptions options, int64_t nowMs)
    : options_(options),
      notes_(defaultNotes()),
      program_(program::standard(options.variant == Variant::L8V ? "L8VQA034" : "L8-QA034")),
      programBytes_(program_.toBytes()) {
    for (const Note& n : notes_) enabled_[n.type - 1] = true;
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
    const bool disabled = std::none_of(enabled_.begin(), enabled_.end(), [](bool e) { return e; });
    const bool inhibited = setup_ & 0x40;
    switch (phase_) {
        case Phase::PowerUp:
            s[1] = 0x40;
            break;
        case Phase::Idle:
            s[1] = (disabled || inhibited) ? 0x00 : 0x01;
            break;
        case Phase::Accepting:
            s[1] = 0x02;
            break;
        case Phase::Escrow:
            s[0] = 0x20;
            break;
        case Phase::Stacking:
            s[1] = 0x08;
            break;
        case Phase::Returning:
            s[1] = 0x04;
            break;
        case Phase::Rejecting:
            s[1] = 0x10;
            s[0] = rejectReason_ & 0x1F;
            break;
        case Phase::Vla:
            s[1] = 0x02;
            break;
    }
    int type = phase_ == Phase::Escrow || phase_ == Phase::Stacking ? billType_ : 0;
    if (stackedPending_) {
        s[0] |= 0x80;
        type = stackedType_;
    }
    if (type != 0) {
        if (!extendedLast_) s[0] |= static_cast<uint8_t>(type & 0x1F);
        s[3] = static_cast<uint8_t>(type);
    }
    s[2] = static_cast<uint8_t>((billJam_ ? 0x01 : 0) | (stackerJam_ ? 0x02 : 0) | (detached_ ? 0x04 : 0) |
                                (full_ ? 0x08 : 0) | (phase_ == Phase::PowerUp && powerUpWithBill_ ? 0x10 : 0) |
                                (commTimeout_ ? 0x20 : 0) | (disabled ? 0x40 : 0) | (inhibited ? 0x80 : 0));
    return s;
}

Bytes ValidatorModel::statusData() const {
    const auto s = statusBytes();
    Bytes d = extendedLast_ ? Bytes(s.begin(), s.end()) : Bytes(s.begin(), s.begin() + 3);
    if (stackedPending_ && stackedType_ == 16) d.insert(d.end(), stackedCoupon_.begin(), stackedCoupon_.end());
    return d;
}

void ValidatorModel::reply(uint8_t code, const Bytes& data) {
    Bytes frame = encodeFrame(extendedLast_, code, data);
    if (truncateNext_) {
        truncateNext_ = false;
        frame.resize(frame.size() / 2);
        say("fault: reply cut short");
    }
    if (corruptNext_) {
        corruptNext_ = false;
        frame.back() ^= 0x5A;
        say("fault: checksum spoiled");
    }
    outbox_.push_back(std::move(frame));
}

void ValidatorModel::enter(Phase p, int64_t now, int durationMs) {
    phase_ = p;
    phaseEnd_ = durationMs > 0 ? now + durationMs : -1;
}

void ValidatorModel::countEvent(int number) {
    if (number >= 1 && number <= 20) ++eventCounts_[number - 1];
    if (number >= 1 && number <= 20 && cassetteFaults_[number - 1] < 255) ++cassetteFaults_[number - 1];
}

void ValidatorModel::stack(int64_t now) {
    stackedPending_ = true;
    stackedType_ = billType_;
    stackedCoupon_ = coupon_;
    if (billType_ >= 1 && billType_ <= 64) {
        ++billCounts_[billType_ - 1];
        ++qrvCounts_[billType_ - 1];
        if (billType_ <= 15) ++cassetteBills_[billType_ - 1];
    }
    ++lifeCount_;
    std::rotate(lastFive_.rbegin(), lastFive_.rbegin() + 1, lastFive_.rend());
    lastFive_[0] = static_cast<uint8_t>(billType_);
    say("bill type " + std::to_string(billType_) + " stacked");
    billType_ = 0;
    coupon_.clear();
    enter(Phase::Idle, now, 0);
}

void ValidatorModel::finishPhase(int64_t now) {
    switch (phase_) {
        case Phase::Accepting:
            if (rejectReason_ != 0xFF) {
                enter(Phase::Rejecting, now, kRejectMs);
                countEvent(eventForReason(rejectReason_));
                say("bill rejected, reason " + std::to_string(rejectReason_));
            } else if (setup_ & 0x04) {
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
                setup_ |= 0x40;
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
    if (silent_ && silentUntil_ >= 0 && now >= silentUntil_) {
        silent_ = false;
        silentUntil_ = -1;
        say("speaking again");
    }
    while (phaseEnd_ >= 0 && now >= phaseEnd_) finishPhase(now);
    if (!interruptMode() || silent_) return;
    const auto s = statusBytes();
    if (s != lastReported_ || stackedPending_) {
        reply(cmd::Status, statusData());
        lastReported_ = s;
        stackedPending_ = false;
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
    if (silent_) earlier(silentUntil_);
    if (interruptMode() && phase_ == Phase::Escrow) earlier(lastPollRequest_ + kPollRequestMs);
    return next;
}

void ValidatorModel::handleFrame(const Bytes& frame, int64_t now) {
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
    if (silent_) return;
    if (!checksumValid(frame.data(), frame.size(), extended)) {
        say("checksum wrong: frame ignored");
        return;
    }
    extendedLast_ = extended;
    if (ignored_.count(code)) return;
    if (unsupported_.count(code)) {
        reply(cmd::Unsupported);
        return;
    }
    answer(code, data, now);
}

void ValidatorModel::answer(uint8_t code, const Bytes& d, int64_t now) {
    auto at = [&d](size_t i) -> uint8_t { return i < d.size() ? d[i] : 0; };
    auto ack = [this] { reply(cmd::Ack); };
    switch (code) {
        case cmd::Status:
            reply(cmd::Status, statusData());
            lastReported_ = statusBytes();
            stackedPending_ = false;
            return;
        case cmd::ClearProdDate:
            productionDate_ = {};
            return ack();
        case cmd::ClearSerNum:
            serial_ = {};
            return ack();
        case cmd::ClearStats:
            billCounts_ = {};
            eventCounts_ = {};
            return ack();
        case cmd::ClearLifeCount:
            lifeCount_ = 0;
            return ack();
        case cmd::RestoreDefaults:
            restoreDefaults();
            return ack();
        case cmd::ResetSystem:
            ack();
            powerCycle(now, false);
            return;
        case cmd::ClearBillCounter:
            lifeCount_ = 0;
            return ack();
        case cmd::ClearQrvCounter:
            qrvCounts_ = {};
            return ack();
        case cmd::SetMode:
            setup_ = static_cast<uint8_t>((setup_ & ~0x0C) | ((at(0) & 1) << 2) | ((at(0) & 2) << 2));
            return ack();
        case cmd::SetBillEnable:
            if (extendedLast_) {
                for (int t = 0; t < 64; ++t) enabled_[t] = at(t / 8) & (1 << (t % 8));
            } else {
                for (int t = 0; t < 8; ++t) enabled_[t] = at(1) & (1 << t);
                for (int t = 8; t < 16; ++t) enabled_[t] = at(0) & (1 << (t - 8));
            }
            return ack();
        case cmd::SetNoteCfg:
            setup_ = static_cast<uint8_t>((setup_ & ~0x03) | ((at(0) & 1) << 1) | ((at(0) & 2) >> 1));
            return ack();
        case cmd::SetProdDate:
            productionDate_ = {at(0), at(1)};
            return ack();
        case cmd::SetStackerOptional:
            setup_ |= 0x10;
            return ack();
        case cmd::SetStackerRequired:
            setup_ &= ~0x10;
            return ack();
        case cmd::SetFactNum:
            factoryNumber_ = {at(0), at(1)};
            return ack();
        case cmd::SetPlateOpen:
            setup_ &= ~0x20;
            return ack();
        case cmd::SetPlateClosed:
            setup_ |= 0x20;
            return ack();
        case cmd::DisableL2:
        case cmd::EnableL2:
        case cmd::CycleStacker:
        case cmd::SaveSetup:
        case cmd::DownloadFirmware:
            return ack();
        case cmd::ReadStackerSensor:
            return reply(code, {static_cast<uint8_t>(detached_ ? 0x00 : 0x01)});
        case cmd::SetSysId:
            systemId_ = {at(0), at(1)};
            return ack();
        case cmd::SetRtc:
            setClock(d);
            return ack();
        case cmd::RunCrc16:
            crc16Result_ = crc16(static_cast<uint16_t>(at(0) << 8 | at(1)), static_cast<uint16_t>(at(2) << 8 | at(3)),
                                 programBytes_);
            return ack();
        case cmd::ReadCrc16:
            return reply(code, {static_cast<uint8_t>(crc16Result_ >> 8), static_cast<uint8_t>(crc16Result_)});
        case cmd::RunCrc32:
            crc32Result_ = crc32(static_cast<uint32_t>(at(0)) << 24 | static_cast<uint32_t>(at(1)) << 16 |
                                     static_cast<uint32_t>(at(2)) << 8 | at(3),
                                 programBytes_);
            return ack();
        case cmd::ReadCrc32:
            return reply(code, {static_cast<uint8_t>(crc32Result_ >> 24), static_cast<uint8_t>(crc32Result_ >> 16),
                                static_cast<uint8_t>(crc32Result_ >> 8), static_cast<uint8_t>(crc32Result_)});
        case cmd::RequestVla:
            ack();
            enter(Phase::Vla, now, kVlaMs);
            say("VLA running");
            return;
        case cmd::EscrowAccept:
            if (phase_ == Phase::Escrow) enter(Phase::Stacking, now, kStackMs);
            return ack();
        case cmd::EscrowReturn:
            if (phase_ == Phase::Escrow) {
                enter(Phase::Returning, now, kReturnMs);
                countEvent(18);
            }
            return ack();
        case cmd::RestartEscrow:
            if (phase_ == Phase::Escrow) phaseEnd_ = now + options_.escrowTimeoutMs;
            return ack();
        case cmd::ReadBillEnable:
        case cmd::ReadSecLevel: {
            const auto& flags = code == cmd::ReadBillEnable ? enabled_ : security_;
            Bytes b(8, 0);
            for (int t = 0; t < 64; ++t)
                if (flags[t]) b[t / 8] |= static_cast<uint8_t>(1 << (t % 8));
            if (!extendedLast_) b = code == cmd::ReadBillEnable ? Bytes{b[1], b[0]} : Bytes{b[0], b[1]};
            return reply(code, b);
        }
        case cmd::ReadOpMode:
        case cmd::ReadNoteCfg:
        case cmd::ReadVdo:
        case cmd::Read1kStats:
        case cmd::ReadSetupNv:
        case cmd::ReadIndCounter:
        case cmd::ReadBarcodeCounter:
        case cmd::ReadDipSwitch:
        case cmd::ReadDiagn2:
        case cmd::ReadDiagn3:
        case cmd::ReadRecogAlgo:
            return reply(code, {setup_, 0x00, 0x01, 0x02});
        case cmd::ReadSystemId:
            return reply(code, Bytes(systemId_.begin(), systemId_.end()));
        case cmd::ReadRtc:
            return reply(code, readClock());
        case cmd::ReadSerNum:
            return reply(code, Bytes(serial_.begin(), serial_.end()));
        case cmd::ReadAssetNum:
            return reply(code, Bytes(asset_.begin(), asset_.end()));
        case cmd::ReadFactNum:
            return reply(code, Bytes(factoryNumber_.begin(), factoryNumber_.end()));
        case cmd::ReadProdDate:
            return reply(code, Bytes(productionDate_.begin(), productionDate_.end()));
        case cmd::SetAcceptAll:
            acceptAllSeconds_ = at(0);
            return ack();
        case cmd::ReadBurnCycles:
            return reply(code, {static_cast<uint8_t>(burnCycles_), static_cast<uint8_t>(burnCycles_ >> 8),
                                static_cast<uint8_t>(burnCycles_ >> 16), static_cast<uint8_t>(burnCycles_ >> 24)});
        case cmd::ReadProgRev: {
            const std::string rev = program::revisionOf(program_.header);
            return reply(code, Bytes(rev.begin(), rev.end()));
        }
        case cmd::UploadFirmware:
            for (Bytes& b : program::uploadStream(program_, extendedLast_, corruptPacket_)) outbox_.push_back(b);
            say("program sent: header and " + std::to_string(program_.records.size()) + " packets");
            corruptPacket_ = 0;
            return;
        case cmd::ReadLastFive:
            return reply(code, Bytes(lastFive_.begin(), lastFive_.end()));
        case cmd::ReadBillCounter:
            return reply(code, {static_cast<uint8_t>(lifeCount_), static_cast<uint8_t>(lifeCount_ >> 8),
                                static_cast<uint8_t>(lifeCount_ >> 16)});
        case cmd::ReadCassFaultBuf:
            return reply(code, Bytes(cassetteFaults_.begin(), cassetteFaults_.end()));
        case cmd::ReadCassBillBuf: {
            Bytes b;
            for (uint16_t c : cassetteBills_)
                b.insert(b.end(), {static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
            return reply(code, b);
        }
        case cmd::ReadStats: {
            Bytes b;
            const int types = extendedLast_ ? 64 : 16;
            for (int t = 0; t < types; ++t)
                b.insert(b.end(), {static_cast<uint8_t>(billCounts_[t]), static_cast<uint8_t>(billCounts_[t] >> 8)});
            for (uint16_t c : eventCounts_) b.insert(b.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
            return reply(code, b);
        }
        case cmd::ReadQrvBillCount: {
            if (!extendedLast_) return reply(cmd::Unsupported);
            Bytes b;
            for (uint32_t c : qrvCounts_)
                b.insert(b.end(), {static_cast<uint8_t>(c >> 24), static_cast<uint8_t>(c >> 16),
                                   static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
            return reply(code, b);
        }
        case cmd::ReadSetup:
            return reply(code, {setup_});
        case cmd::ReadUnitOpt:
            return reply(code, unitOptionsData(notes_));
        case cmd::ReadCreditTable: {
            // Always asked in the long layout, whatever the link's mode.
            const bool was = extendedLast_;
            extendedLast_ = true;
            reply(code, creditTableData(notes_));
            extendedLast_ = was;
            return;
        }
        case cmd::ReadDiagn0:
            if (at(0) == 0xA1)
                return reply(code, videoData(options_.variant, extendedLast_ ? 5 : 1, options_.failVideo));
            return reply(code, sensorData(options_.variant, options_.failSensors));
        case cmd::ReadDiagn1: {
            Bytes b = opticsData(options_.variant, options_.failOptics);
            // A short frame cannot carry the whole table: the unit sends what fits.
            if (!extendedLast_) b.resize(251);
            return reply(code, b);
        }
        case cmd::InhibitUnit:
            setup_ |= 0x40;
            return ack();
        case cmd::UninhibitUnit:
            setup_ &= ~0x40;
            return ack();
        case cmd::WriteCassetteId: {
            const Bytes id = {at(5), at(4), at(3), at(2), 0x00, 0x00};
            const uint16_t check = crc16(kCrc16Poly, 0x04D2, id);
            if (check != (at(6) << 8 | at(7))) {
                say("cassette ID check value wrong: not written");
            } else {
                for (size_t i = 0; i < 8; ++i) cassetteId_[i] = at(i);
            }
            return ack();
        }
        case cmd::EraseSda:
            cassetteBills_ = {};
            cassetteFaults_ = {};
            return ack();
        case cmd::ReadCassetteId:
            return reply(code, Bytes(cassetteId_.begin(), cassetteId_.end()));
        default:
            return reply(cmd::Unsupported);
    }
}

namespace {

int fromBcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }
uint8_t toBcd(int v) { return static_cast<uint8_t>(((v / 10) % 10) << 4 | v % 10); }

}  // namespace

Bytes ValidatorModel::readClock() const {
    const time_t now = time(nullptr) + rtcOffsetSeconds_;
    tm t{};
    localtime_r(&now, &t);
    return {toBcd(t.tm_year % 100), toBcd(t.tm_mon + 1), toBcd(t.tm_mday), toBcd(t.tm_wday + 1),
            toBcd(t.tm_hour),       toBcd(t.tm_min),     toBcd(t.tm_sec),  rtcByte7_};
}

void ValidatorModel::setClock(const Bytes& r) {
    if (r.size() < 7) return;
    tm t{};
    t.tm_year = 100 + fromBcd(r[0]);
    t.tm_mon = fromBcd(r[1]) - 1;
    t.tm_mday = fromBcd(r[2]);
    t.tm_hour = fromBcd(r[4]);
    t.tm_min = fromBcd(r[5]);
    t.tm_sec = fromBcd(r[6]);
    t.tm_isdst = -1;
    const time_t set = mktime(&t);
    if (set == static_cast<time_t>(-1)) return;
    rtcOffsetSeconds_ = static_cast<int64_t>(set) - static_cast<int64_t>(time(nullptr));
    rtcByte7_ = r.size() > 7 ? r[7] : 0;
}

void ValidatorModel::restoreDefaults() {
    setup_ = 0x04;
    for (const Note& n : notes_) enabled_[n.type - 1] = true;
}

void ValidatorModel::powerCycle(int64_t now, bool withBill) {
    billType_ = 0;
    coupon_.clear();
    stackedPending_ = false;
    powerUpWithBill_ = withBill;
    enter(Phase::PowerUp, now, kPowerUpMs);
    say(withBill ? "power up with a bill in the path" : "power up");
}

std::string ValidatorModel::insert(int type, const std::string& coupon, int64_t now) {
    if (type < 1 || type > 64) return "bill type must be 1 to 64";
    if (phase_ != Phase::Idle) return "the validator is busy";
    if (detached_ || full_ || billJam_ || stackerJam_) return "the validator cannot take a bill now (stacker or jam)";
    billType_ = type;
    coupon_ = coupon;
    const bool disabled = std::none_of(enabled_.begin(), enabled_.end(), [](bool e) { return e; });
    if (setup_ & 0x40 || disabled)
        rejectReason_ = 0x10;
    else if (!enabled_[type - 1])
        rejectReason_ = 0x08;
    else
        rejectReason_ = 0xFF;  // accepted
    enter(Phase::Accepting, now, kAcceptMs);
    say(type == 16 ? "coupon " + coupon + " inserted" : "bill type " + std::to_string(type) + " inserted");
    return "";
}

void ValidatorModel::loadProgram(const FirmwareFile& program) {
    program_ = program;
    programBytes_ = program_.toBytes();
    say("program loaded: revision " + program::revisionOf(program_.header) + ", " +
        std::to_string(program_.records.size()) + " blocks");
}

const char* ValidatorModel::scenarioHelp() {
    return "insert TYPE | coupon CODE | reject REASON(hex) | jam | stacker-jam | clear-jam | detach | attach |\n"
           "full | not-full | power-cycle | power-up-with-bill | comm-timeout on|off | silent [MS] | speak |\n"
           "garbage N | truncate-next | corrupt-next | unsupported CODE(hex) | ignore CODE(hex) | answer CODE(hex) |\n"
           "corrupt-packet N | wait MS (scripts) | help";
}

std::string ValidatorModel::execute(const std::string& line, int64_t now) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word) || word[0] == '#') return "";
    advance(now);
    auto number = [&in](int base, long& v) -> bool {
        std::string t;
        if (!(in >> t)) return false;
        char* end = nullptr;
        v = std::strtol(t.c_str(), &end, base);
        return end && *end == '\0';
    };
    long v = 0;
    if (word == "insert") return number(10, v) ? insert(static_cast<int>(v), "", now) : "insert TYPE";
    if (word == "coupon") {
        std::string code;
        if (!(in >> code) || code.size() > 47) return "coupon CODE (at most 47 characters)";
        return insert(16, code, now);
    }
    if (word == "reject") {
        if (!number(16, v) || v < 0 || v > 0x1F) return "reject REASON (hex, 00 to 1F)";
        if (phase_ != Phase::Idle) return "the validator is busy";
        billType_ = 0;
        rejectReason_ = static_cast<uint8_t>(v);
        enter(Phase::Accepting, now, kAcceptMs);
        return "";
    }
    // Commands without arguments that only change the unit's state.
    using Action = void (*)(ValidatorModel&, int64_t);
    static const std::pair<const char*, Action> kSwitches[] = {
        {"jam",
         [](ValidatorModel& m, int64_t) {
             m.billJam_ = true;
             m.countEvent(15);
         }},
        {"stacker-jam", [](ValidatorModel& m, int64_t) { m.stackerJam_ = true; }},
        {"clear-jam", [](ValidatorModel& m, int64_t) { m.billJam_ = m.stackerJam_ = false; }},
        {"detach", [](ValidatorModel& m, int64_t) { m.detached_ = true; }},
        {"attach", [](ValidatorModel& m, int64_t) { m.detached_ = false; }},
        {"full", [](ValidatorModel& m, int64_t) { m.full_ = true; }},
        {"not-full", [](ValidatorModel& m, int64_t) { m.full_ = false; }},
        {"power-cycle", [](ValidatorModel& m, int64_t t) { m.powerCycle(t, false); }},
        {"power-up-with-bill", [](ValidatorModel& m, int64_t t) { m.powerCycle(t, true); }},
        {"truncate-next", [](ValidatorModel& m, int64_t) { m.truncateNext_ = true; }},
        {"corrupt-next", [](ValidatorModel& m, int64_t) { m.corruptNext_ = true; }},
        {"speak",
         [](ValidatorModel& m, int64_t) {
             m.silent_ = false;
             m.silentUntil_ = -1;
         }},
    };
    for (const auto& [name, action] : kSwitches) {
        if (word == name) {
            action(*this, now);
            return "";
        }
    }
    if (word == "comm-timeout") {
        std::string on;
        in >> on;
        commTimeout_ = on != "off";
        return "";
    }
    if (word == "silent") {
        silent_ = true;
        silentUntil_ = number(10, v) && v > 0 ? now + v : -1;
        say("going silent");
        return "";
    }
    if (word == "corrupt-packet") {
        if (!number(10, v) || v < 1) return "corrupt-packet N (1 or more)";
        corruptPacket_ = static_cast<uint32_t>(v);
        return "";
    }
    if (word == "garbage") {
        if (!number(10, v) || v < 1 || v > 4096) return "garbage N (1 to 4096)";
        Bytes junk(static_cast<size_t>(v));
        for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
        outbox_.push_back(std::move(junk));
        return "";
    }
    if (word == "unsupported" || word == "ignore" || word == "answer") {
        if (!number(16, v) || v < 0 || v > 255) return word + " CODE (hex)";
        const auto c = static_cast<uint8_t>(v);
        unsupported_.erase(c);
        ignored_.erase(c);
        if (word == "unsupported") unsupported_.insert(c);
        if (word == "ignore") ignored_.insert(c);
        return "";
    }
    return "unknown command '" + word + "' (help lists them)";
}

}  // namespace halvek::sim
