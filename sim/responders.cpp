#include "responders.h"

#include <algorithm>

#include "firmware/crc.h"
#include "protocol/catalogue.h"
#include "sim/loader/program_image.h"
#include "unit_bits.h"
#include "validator_model.h"

namespace halvek::sim {
namespace {

using Unit = ValidatorModel;
using Req = Request;

// Multi-byte values, in the byte order each reply uses.
Bytes lowFirst(uint32_t v, int bytes) {
    Bytes b;
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}
Bytes highFirst(uint32_t v, int bytes) {
    Bytes b = lowFirst(v, bytes);
    std::reverse(b.begin(), b.end());
    return b;
}
template <size_t N>
Bytes bytesOf(const std::array<uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

void ack(Unit& u, const Req&) { u.reply(cmd::Ack); }

void status(Unit& u, const Req&) { u.reply(cmd::Status, u.statusReply()); }

// Clearing and defaults.
void clearProdDate(Unit& u, const Req& r) {
    u.memory().productionDate = {};
    ack(u, r);
}
void clearSerNum(Unit& u, const Req& r) {
    u.memory().serial = {};
    ack(u, r);
}
void clearStats(Unit& u, const Req& r) {
    u.memory().billCounts = {};
    u.memory().eventCounts = {};
    ack(u, r);
}
void clearLifeCount(Unit& u, const Req& r) {
    u.memory().lifeCount = 0;
    ack(u, r);
}
void restoreDefaults(Unit& u, const Req& r) {
    u.memory().restoreDefaults();
    ack(u, r);
}
void resetSystem(Unit& u, const Req& r) {
    ack(u, r);
    u.powerCycle(r.now, false);
}
void clearQrvCounter(Unit& u, const Req& r) {
    u.memory().qrvCounts = {};
    ack(u, r);
}

// Set-up.
void setSetupBits(Unit& u, uint8_t mask, uint8_t bits) {
    u.memory().setup = static_cast<uint8_t>((u.memory().setup & ~mask) | bits);
}
void setMode(Unit& u, const Req& r) {
    setSetupBits(
        u, setupbit::EscrowOn | setupbit::Interrupt,
        static_cast<uint8_t>((r.at(0) & 0x01 ? setupbit::EscrowOn : 0) | (r.at(0) & 0x02 ? setupbit::Interrupt : 0)));
    ack(u, r);
}
void setNoteCfg(Unit& u, const Req& r) {
    // The command carries ways in bit 0 and sides in bit 1, the set-up byte the other way round.
    setSetupBits(u, setupbit::Sides | setupbit::Ways,
                 static_cast<uint8_t>((r.at(0) & 0x01 ? setupbit::Ways : 0) | (r.at(0) & 0x02 ? setupbit::Sides : 0)));
    ack(u, r);
}
void setStackerOptional(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::StackerOptional, setupbit::StackerOptional);
    ack(u, r);
}
void setStackerRequired(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::StackerOptional, 0);
    ack(u, r);
}
void setPlateOpen(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::PlateClosed, 0);
    ack(u, r);
}
void setPlateClosed(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::PlateClosed, setupbit::PlateClosed);
    ack(u, r);
}
void inhibitUnit(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::Inhibit, setupbit::Inhibit);
    ack(u, r);
}
void uninhibitUnit(Unit& u, const Req& r) {
    setSetupBits(u, setupbit::Inhibit, 0);
    ack(u, r);
}
void readSetup(Unit& u, const Req& r) {
    uint8_t setup = u.memory().setup;
    if (u.quirks().unaskedInterrupt) {
        u.quirks().unaskedInterrupt = false;
        setup |= setupbit::Interrupt;
        u.say("fault: set-up claims interrupt mode");
    }
    u.reply(r.code, {setup});
}
// Reads whose data the host does not use: the set-up byte and a little filler.
void setupAndFiller(Unit& u, const Req& r) { u.reply(r.code, {u.memory().setup, 0x00, 0x01, 0x02}); }

void setBillEnable(Unit& u, const Req& r) {
    auto& enabled = u.memory().enabled;
    if (u.extendedLast()) {
        for (size_t t = 0; t < 64; ++t) enabled[t] = r.at(t / 8) & (1 << (t % 8));
    } else {
        // Short frames: a 16-bit mask, high byte (types 9 to 16) first.
        for (size_t t = 0; t < 8; ++t) enabled[t] = r.at(1) & (1 << t);
        for (size_t t = 8; t < 16; ++t) enabled[t] = r.at(0) & (1 << (t - 8));
    }
    ack(u, r);
}
void readFlags(Unit& u, const Req& r, const std::array<bool, 64>& flags, bool highByteFirst) {
    Bytes b(8, 0);
    for (size_t t = 0; t < 64; ++t)
        if (flags[t]) b[t / 8] |= static_cast<uint8_t>(1 << (t % 8));
    if (!u.extendedLast()) b = highByteFirst ? Bytes{b[1], b[0]} : Bytes{b[0], b[1]};
    u.reply(r.code, b);
}
void readBillEnable(Unit& u, const Req& r) { readFlags(u, r, u.memory().enabled, true); }
void readSecLevel(Unit& u, const Req& r) { readFlags(u, r, u.memory().security, false); }

// Identity and clock.
void setProdDate(Unit& u, const Req& r) {
    u.memory().productionDate = {r.at(0), r.at(1)};
    ack(u, r);
}
void setFactNum(Unit& u, const Req& r) {
    u.memory().factoryNumber = {r.at(0), r.at(1)};
    ack(u, r);
}
void setSysId(Unit& u, const Req& r) {
    u.memory().systemId = {r.at(0), r.at(1)};
    ack(u, r);
}
// Unit types without a clock refuse both clock commands.
bool hasClock(const Unit& u) {
    const char t = u.options().unitType;
    return t != 'V' && t != 'L' && t != 'S';
}
void setRtc(Unit& u, const Req& r) {
    if (!hasClock(u)) return u.reply(cmd::Unsupported);
    u.memory().setClock(r.data);
    ack(u, r);
}
void readSystemId(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().systemId)); }
void readRtc(Unit& u, const Req& r) {
    if (!hasClock(u)) return u.reply(cmd::Unsupported);
    u.reply(r.code, u.memory().readClock());
}
void readSerNum(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().serial)); }
void readAssetNum(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().asset)); }
void readFactNum(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().factoryNumber)); }
void readProdDate(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().productionDate)); }
void readBurnCycles(Unit& u, const Req& r) { u.reply(r.code, lowFirst(u.memory().burnCycles, 4)); }
// The revision is the running program's; its fifth letter is the unit's type.
void readProgRev(Unit& u, const Req& r) {
    const std::string rev = program::revisionOf(u.program().header);
    Bytes b(rev.begin(), rev.end());
    b.resize(8, ' ');
    b[4] = static_cast<uint8_t>(u.options().unitType);
    u.reply(r.code, b);
}
// The program goes out as the header frame and its 133-byte packets.
void uploadFirmware(Unit& u, const Req&) {
    uint32_t& corrupt = u.quirks().corruptPacket;
    for (Bytes& b : program::uploadStream(u.program(), u.extendedLast(), corrupt)) u.sendRaw(b);
    u.say("program sent: header and " + std::to_string(u.program().records.size()) + " packets");
    corrupt = 0;
}
void setAcceptAll(Unit& u, const Req& r) {
    u.memory().acceptAll.start(r.now, r.at(0));
    u.say("accepting every bill for " + std::to_string(r.at(0)) + " s");
    ack(u, r);
}

// CRC runs over the program image; a busy unit does not answer the reads yet.
void runCrc16(Unit& u, const Req& r) {
    u.memory().crc.run16(static_cast<uint16_t>(r.at(0) << 8 | r.at(1)), static_cast<uint16_t>(r.at(2) << 8 | r.at(3)),
                         r.now);
    ack(u, r);
}
void runCrc32(Unit& u, const Req& r) {
    const uint32_t seed = static_cast<uint32_t>(r.at(0)) << 24 | static_cast<uint32_t>(r.at(1)) << 16 |
                          static_cast<uint32_t>(r.at(2)) << 8 | r.at(3);
    u.memory().crc.run32(seed, r.now);
    ack(u, r);
}
void readCrc(Unit& u, const Req& r) {
    const CrcEngine& crc = u.memory().crc;
    if (auto result = r.code == cmd::ReadCrc16 ? crc.read16(r.now) : crc.read32(r.now))
        u.reply(r.code, *result);
    else
        u.say("still computing the CRC: no answer");
}

// Bills.
void requestVla(Unit& u, const Req& r) {
    ack(u, r);
    u.startVla(r.now);
}
void escrowAccept(Unit& u, const Req& r) {
    u.acceptEscrow(r.now);
    ack(u, r);
}
void escrowReturn(Unit& u, const Req& r) {
    u.returnEscrow(r.now);
    ack(u, r);
}
void restartEscrow(Unit& u, const Req& r) {
    u.restartEscrow(r.now);
    ack(u, r);
}
void readStackerSensor(Unit& u, const Req& r) {
    u.reply(r.code, {static_cast<uint8_t>(u.conditions().detached ? 0x00 : 0x01)});
}

// Counters and statistics.
void readLastFive(Unit& u, const Req& r) { u.reply(r.code, bytesOf(u.memory().lastFive)); }
void readBillCounter(Unit& u, const Req& r) { u.reply(r.code, lowFirst(u.memory().lifeCount, 3)); }
void readStats(Unit& u, const Req& r) {
    Bytes b;
    const size_t types = u.extendedLast() ? 64 : 16;
    for (size_t t = 0; t < types; ++t) {
        const Bytes c = lowFirst(u.memory().billCounts[t], 2);
        b.insert(b.end(), c.begin(), c.end());
    }
    for (uint16_t count : u.memory().eventCounts) {
        const Bytes c = lowFirst(count, 2);
        b.insert(b.end(), c.begin(), c.end());
    }
    u.reply(r.code, b);
}
void readQrvBillCount(Unit& u, const Req& r) {
    if (!u.extendedLast()) return u.reply(cmd::Unsupported);
    Bytes b;
    for (uint32_t count : u.memory().qrvCounts) {
        const Bytes c = highFirst(count, 4);
        b.insert(b.end(), c.begin(), c.end());
    }
    u.reply(r.code, b);
}

// Bill tables.
void readUnitOpt(Unit& u, const Req& r) { u.reply(r.code, unitOptionsData(u.notes())); }
// Always asked in the long layout, whatever the link's mode.
void readCreditTable(Unit& u, const Req& r) { u.replyExtended(r.code, creditTableData(u.notes())); }

// Diagnostics.
void readDiagn0(Unit& u, const Req& r) {
    if (r.at(0) == 0xA1)
        return u.reply(r.code, videoData(u.options().variant, u.extendedLast() ? 5 : 1, u.options().failVideo));
    u.reply(r.code, sensorData(u.options().variant, u.options().failSensors));
}
void readDiagn1(Unit& u, const Req& r) {
    Bytes b = opticsData(u.options().variant, u.options().failOptics);
    // A short frame cannot carry the whole table: the unit sends what fits.
    if (!u.extendedLast()) b.resize(251);
    u.reply(r.code, b);
}

// Cassette commands go to the cassette, which answers only while attached.
void cassette(Unit& u, const Req& r) {
    const auto reply = u.memory().cassette.answer(r.code, r.data, !u.conditions().detached,
                                                  [&u](const std::string& line) { u.say(line); });
    u.reply(reply.code, reply.data);
}

// Sorted by code; one row per code the unit answers.
constexpr Responder kResponders[] = {
    {cmd::ClearProdDate, clearProdDate},
    {cmd::ClearSerNum, clearSerNum},
    {cmd::ClearStats, clearStats},
    {cmd::ClearLifeCount, clearLifeCount},
    {cmd::RestoreDefaults, restoreDefaults},
    {cmd::ResetSystem, resetSystem},
    {cmd::ClearBillCounter, clearLifeCount},
    {cmd::ClearQrvCounter, clearQrvCounter},
    {cmd::SetMode, setMode},
    {cmd::SetBillEnable, setBillEnable},
    {cmd::SetNoteCfg, setNoteCfg},
    {cmd::SetProdDate, setProdDate},
    {cmd::SetStackerOptional, setStackerOptional},
    {cmd::SetStackerRequired, setStackerRequired},
    {cmd::SetFactNum, setFactNum},
    {cmd::SetPlateOpen, setPlateOpen},
    {cmd::SetPlateClosed, setPlateClosed},
    {cmd::DisableL2, ack},
    {cmd::EnableL2, ack},
    {cmd::CycleStacker, ack},
    {cmd::ReadStackerSensor, readStackerSensor},
    {cmd::SetSysId, setSysId},
    {cmd::SetRtc, setRtc},
    {cmd::UploadFirmware, uploadFirmware},
    {cmd::DownloadFirmware, ack},
    {cmd::RunCrc16, runCrc16},
    {cmd::ReadCrc16, readCrc},
    {cmd::RunCrc32, runCrc32},
    {cmd::ReadCrc32, readCrc},
    {cmd::RequestVla, requestVla},
    {cmd::EscrowAccept, escrowAccept},
    {cmd::EscrowReturn, escrowReturn},
    {cmd::RestartEscrow, restartEscrow},
    {cmd::ReadOpMode, setupAndFiller},
    {cmd::ReadBillEnable, readBillEnable},
    {cmd::ReadSecLevel, readSecLevel},
    {cmd::ReadNoteCfg, setupAndFiller},
    {cmd::ReadVdo, setupAndFiller},
    {cmd::Status, status},
    {cmd::ReadSystemId, readSystemId},
    {cmd::ReadRtc, readRtc},
    {cmd::ReadSerNum, readSerNum},
    {cmd::ReadAssetNum, readAssetNum},
    {cmd::ReadFactNum, readFactNum},
    {cmd::ReadProdDate, readProdDate},
    {cmd::SetAcceptAll, setAcceptAll},
    {cmd::ReadBurnCycles, readBurnCycles},
    {cmd::ReadProgRev, readProgRev},
    {cmd::ReadLastFive, readLastFive},
    {cmd::ReadBillCounter, readBillCounter},
    {cmd::ReadCassFaultBuf, cassette},
    {cmd::ReadCassBillBuf, cassette},
    {cmd::ReadStats, readStats},
    {cmd::Read1kStats, setupAndFiller},
    {cmd::ReadQrvBillCount, readQrvBillCount},
    {cmd::ReadSetupNv, setupAndFiller},
    {cmd::ReadSetup, readSetup},
    {cmd::ReadUnitOpt, readUnitOpt},
    {cmd::ReadIndCounter, setupAndFiller},
    {cmd::ReadBarcodeCounter, setupAndFiller},
    {cmd::ReadCreditTable, readCreditTable},
    {cmd::ReadDipSwitch, setupAndFiller},
    {cmd::ReadDiagn0, readDiagn0},
    {cmd::ReadDiagn1, readDiagn1},
    {cmd::ReadDiagn2, setupAndFiller},
    {cmd::ReadDiagn3, setupAndFiller},
    {cmd::ReadRecogAlgo, setupAndFiller},
    {cmd::InhibitUnit, inhibitUnit},
    {cmd::UninhibitUnit, uninhibitUnit},
    {cmd::SaveSetup, ack},
    {cmd::WriteCassetteId, cassette},
    {cmd::EraseSda, cassette},
    {cmd::ReadCassetteId, cassette},
};

}  // namespace

std::span<const Responder> responders() { return kResponders; }

const Responder* findResponder(uint8_t code) {
    for (const Responder& r : kResponders)
        if (r.code == code) return &r;
    return nullptr;
}

}  // namespace halvek::sim
