#include "scenario.h"

#include <algorithm>
#include <cstdlib>

#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "validator_model.h"

namespace halvek::sim {

bool ScenarioArgs::number(int base, long& value) {
    std::string t;
    if (!(in_ >> t)) return false;
    if (base == 0) {
        base = 10;
        if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
            t.erase(0, 2);
            base = 16;
        }
    }
    char* end = nullptr;
    value = std::strtol(t.c_str(), &end, base);
    return !t.empty() && end && *end == '\0';
}

bool ScenarioArgs::hexBytes(Bytes& bytes) {
    std::string all, t;
    while (in_ >> t) all += t;
    if (all.empty() || all.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < all.size(); i += 2) {
        const std::string pair = all.substr(i, 2);
        char* end = nullptr;
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (!end || *end != '\0' || pair[0] == '-' || pair[0] == '+') return false;
        bytes.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

bool ScenarioArgs::atEnd() {
    in_ >> std::ws;
    return in_.eof();
}

namespace {

using Unit = ValidatorModel;
using Args = ScenarioArgs;

constexpr size_t kCouponChars = 47;      // what the host keeps of a coupon code
constexpr size_t kCouponBytes = 248;     // what a short status frame can carry after its three status bytes
constexpr size_t kLongestFrame = 65535;  // what a long frame's length field can say

// Bills.
std::string insertBill(Unit& u, Args& a, int64_t now) {
    long v = 0;
    if (!a.number(10, v)) return "insert TYPE";
    return v < 1 || v > 64 ? "bill type must be 1 to 64" : u.insert(static_cast<int>(v), "", now);
}
std::string coupon(Unit& u, Args& a, int64_t now) {
    std::string code;
    if (!a.word(code) || code.size() > kCouponChars) return "coupon CODE (at most 47 characters)";
    return u.insert(16, code, now);
}
std::string couponHex(Unit& u, Args& a, int64_t now) {
    Bytes b;
    if (!a.hexBytes(b) || b.size() > kCouponBytes) return "coupon-hex HEXBYTES (1 to 248 bytes)";
    return u.insert(16, std::string(b.begin(), b.end()), now);
}
std::string reject(Unit& u, Args& a, int64_t now) {
    long v = 0;
    if (!a.number(16, 0, 0x1F, v)) return "reject REASON (hex, 00 to 1F)";
    return u.startReject(static_cast<uint8_t>(v), now);
}
std::string repeatStacked(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 1, 100, v)) return "repeat-stacked N (1 to 100)";
    u.quirks().stackedRepeats = static_cast<int>(v);
    return "";
}

// Conditions of the unit.
std::string jam(Unit& u, Args&, int64_t) {
    u.conditions().billJam = true;
    u.memory().countEvent(15);
    return "";
}
std::string commTimeout(Unit& u, Args& a, int64_t) {
    std::string on;
    a.word(on);
    u.conditions().commTimeout = on != "off";
    return "";
}
std::string echo(Unit& u, Args& a, int64_t) {
    std::string on;
    a.word(on);
    if (on != "on" && on != "off" && !on.empty()) return "echo on|off";
    u.line().echo = on != "off";
    return "";
}
std::string powerCycle(Unit& u, Args&, int64_t now) {
    u.powerCycle(now, false);
    return "";
}
std::string powerUpWithBill(Unit& u, Args&, int64_t now) {
    u.powerCycle(now, true);
    return "";
}
std::string events(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 1, maxEventBurst(), v)) return "events N (1 to " + std::to_string(maxEventBurst()) + ")";
    u.quirks().eventBurst = static_cast<int>(v);
    return "";
}

// Silence and the answer rules.
std::string silent(Unit& u, Args& a, int64_t now) {
    long v = 0;
    u.line().silence(a.number(10, v) && v > 0 ? now + v : -1);
    u.say("going silent");
    return "";
}
std::string setRule(Args& a, Unit& u, const char* name, LineFaults::Rule rule) {
    long v = 0;
    if (!a.number(16, 0, 255, v)) return std::string(name) + " CODE (hex)";
    u.line().setRule(static_cast<uint8_t>(v), rule);
    return "";
}
std::string unsupported(Unit& u, Args& a, int64_t) { return setRule(a, u, "unsupported", LineFaults::Rule::Refuse); }
std::string ignore(Unit& u, Args& a, int64_t) { return setRule(a, u, "ignore", LineFaults::Rule::Ignore); }
std::string answer(Unit& u, Args& a, int64_t) { return setRule(a, u, "answer", LineFaults::Rule::Answer); }
std::string drop(Unit& u, Args& a, int64_t) {
    long code = 0, n = 1;
    if (!a.number(16, 0, 255, code) || (!a.atEnd() && !a.number(10, 1, 10000, n)))
        return "drop CODE(hex) [N] (N 1 to 10000)";
    u.line().drop(static_cast<uint8_t>(code), static_cast<int>(n));
    return "";
}

// Spoiled and unasked replies.
std::string flip(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 0, 8 * static_cast<long>(kLongestFrame), v)) return "flip BIT (0 is bit 0 of the start byte)";
    u.line().flipBit = static_cast<unsigned>(v);
    return "";
}
std::string announce(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(0, 0, static_cast<long>(kLongestFrame), v)) return "announce LEN (0 to 65535, or 0x0000 to 0xFFFF)";
    u.line().announce = static_cast<unsigned>(v);
    return "";
}
std::string longReply(Unit& u, Args& a, int64_t) {
    long n = 0, code = cmd::ReadStats;
    if (!a.number(10, static_cast<long>(smallestFrameSize(true)), static_cast<long>(kLongestFrame), n) ||
        (!a.atEnd() && !a.number(16, 0, 255, code)))
        return "long-reply N [CODE(hex)] (N 7 to 65535 bytes in all)";
    u.quirks().longReply = ReplyQuirks::LongReply{static_cast<uint8_t>(code), static_cast<size_t>(n)};
    return "";
}
std::string unasked(Unit& u, Args& a, int64_t) {
    long code = 0;
    if (!a.number(16, 0, 255, code)) return "unasked CODE(hex) [HEXBYTES]";
    ReplyQuirks::Unasked reply{static_cast<uint8_t>(code), std::nullopt};
    if (!a.atEnd()) {
        Bytes data;
        if (!a.hexBytes(data) || data.size() > kLongestFrame - smallestFrameSize(true))
            return "unasked CODE(hex) [HEXBYTES]";
        reply.data = std::move(data);
    }
    u.quirks().unasked = std::move(reply);
    return "";
}
std::string unaskedInterrupt(Unit& u, Args&, int64_t) {
    u.quirks().unaskedInterrupt = true;
    return "";
}

// Bytes sent now, not as a reply.
std::string garbage(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 1, 4096, v)) return "garbage N (1 to 4096)";
    u.sendRaw(lineNoise(static_cast<size_t>(v)));
    return "";
}
std::string corruptPacket(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 1, 1000000, v)) return "corrupt-packet N (1 or more)";
    u.quirks().corruptPacket = static_cast<uint32_t>(v);
    return "";
}
std::string stray(Unit& u, Args& a, int64_t) {
    long v = 0xA5;
    if (!a.atEnd() && !a.number(16, 0, 255, v)) return "stray [BYTE(hex)]";
    if (v == kStx) return "stray BYTE: not the start byte 02";
    u.sendRaw({static_cast<uint8_t>(v)});
    return "";
}
std::string floodPoll(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 1, 10000, v)) return "flood-poll N (1 to 10000)";
    const Bytes one = encodeFrame(u.extendedLast(), cmd::PollNow, {});
    Bytes all;
    for (long i = 0; i < v; ++i) all.insert(all.end(), one.begin(), one.end());
    u.sendRaw(std::move(all));
    return "";
}

// The unit's own CRC takes its time.
std::string crcBusy(Unit& u, Args& a, int64_t) {
    long v = 0;
    if (!a.number(10, 0, 600000, v)) return "crc-busy MS (0 to 600000)";
    u.memory().crc.setBusyMs(static_cast<int>(v));
    return "";
}

// "wait" sleeps in the server, which reads scripts; the unit only checks it.
std::string wait(Unit&, Args& a, int64_t) {
    long v = 0;
    return a.number(10, v) && v >= 0 ? "" : "wait MS";
}
std::string help(Unit&, Args&, int64_t) { return ""; }

// A command without arguments that only turns one of the unit's switches.
template <auto Turn>
std::string turn(Unit& u, Args&, int64_t) {
    Turn(u);
    return "";
}

constexpr ScenarioCommand kCommands[] = {
    {"insert", "TYPE", "a bill of TYPE (1 to 64) enters", insertBill},
    {"coupon", "CODE", "a coupon (type 16) with CODE (at most 47 characters) enters", coupon},
    {"coupon-hex", "HEXBYTES", "a coupon whose code is any bytes (1 to 248), e.g. 1B5D41", couponHex},
    {"reject", "REASON(hex)", "a bill enters and is rejected with REASON (00 to 1F)", reject},
    {"repeat-stacked", "N", "the next stacked bill shows on N status replies (normally 1)", repeatStacked},
    {"jam", "", "bill jam", jam},
    {"stacker-jam", "", "stacker jam", turn<[](Unit& u) { u.conditions().stackerJam = true; }>},
    {"clear-jam", "", "both jams cleared",
     turn<[](Unit& u) { u.conditions().billJam = u.conditions().stackerJam = false; }>},
    {"detach", "", "stacker detached", turn<[](Unit& u) { u.conditions().detached = true; }>},
    {"attach", "", "stacker attached", turn<[](Unit& u) { u.conditions().detached = false; }>},
    {"full", "", "stacker full", turn<[](Unit& u) { u.conditions().full = true; }>},
    {"not-full", "", "stacker no longer full", turn<[](Unit& u) { u.conditions().full = false; }>},
    {"comm-timeout", "on|off", "the unit reports a communication time-out, or stops", commTimeout},
    {"power-cycle", "", "the unit resets", powerCycle},
    {"power-up-with-bill", "", "the unit resets with a bill in its path", powerUpWithBill},
    {"events", "N", "the next status reply adds N events at once (faults and a rejection)", events},
    {"silent", "[MS]", "hear and say nothing, for MS milliseconds or until speak", silent},
    {"speak", "", "end a silence", turn<[](Unit& u) { u.line().speak(); }>},
    {"echo", "on|off", "the line sends every host frame back to the host, or stops", echo},
    {"unsupported", "CODE(hex)", "answer CODE with 99 (not supported) from now on", unsupported},
    {"ignore", "CODE(hex)", "never answer CODE from now on", ignore},
    {"answer", "CODE(hex)", "answer CODE normally again", answer},
    {"drop", "CODE(hex) [N]", "the next N (1) frames with CODE are lost on the way in", drop},
    {"truncate-next", "", "cut the next reply short", turn<[](Unit& u) { u.line().truncateNext = true; }>},
    {"corrupt-next", "", "spoil the next reply's checksum", turn<[](Unit& u) { u.line().corruptNext = true; }>},
    {"flip", "BIT", "flip bit BIT (8 x byte + bit) of the next reply, checksum excluded", flip},
    {"announce", "LEN", "the next reply's length field says LEN (0x prefix: hex), its body is noise", announce},
    {"long-reply", "N [CODE(hex)]", "answer the next CODE (DD, read stats) with an N-byte long frame", longReply},
    {"unasked", "CODE(hex) [HEXBYTES]", "after the next status reply, an extra reply CODE nobody asked for", unasked},
    {"unasked-interrupt", "", "the next read setup reply claims interrupt mode", unaskedInterrupt},
    {"garbage", "N", "send N bytes of noise now (1 to 4096)", garbage},
    {"corrupt-packet", "N", "damage upload packet N (1 = the first) once", corruptPacket},
    {"stray", "[BYTE(hex)]", "send one byte (A5; never 02) on its own now", stray},
    {"flood-poll", "N", "send N poll-now (55) frames at once", floodPoll},
    {"crc-busy", "MS", "after Run CRC, leave Read CRC unanswered for MS milliseconds (0: answer at once)", crcBusy},
    {"wait", "MS", "pause a script for MS milliseconds", wait},
    {"help", "", "list these commands", help},
};

}  // namespace

std::span<const ScenarioCommand> scenarioCommands() { return kCommands; }

std::string runScenario(ValidatorModel& unit, const std::string& line, int64_t now) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word) || word[0] == '#') return "";
    unit.advance(now);
    for (const ScenarioCommand& c : kCommands) {
        if (word == c.name) {
            ScenarioArgs args(in);
            return c.run(unit, args, now);
        }
    }
    return "unknown command '" + word + "' (help lists them)";
}

const std::string& scenarioHelp() {
    static const std::string text = [] {
        std::string t;
        for (const ScenarioCommand& c : kCommands) {
            std::string head = std::string(c.name) + (*c.arguments ? " " : "") + c.arguments;
            head.resize(std::max<size_t>(head.size() + 1, 36), ' ');
            t += "  " + head + c.help + "\n";
        }
        t.pop_back();
        return t;
    }();
    return text;
}

}  // namespace halvek::sim
