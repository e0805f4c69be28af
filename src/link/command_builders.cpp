// How the commands that carry data become frames.
#include "link/command_builders.h"

#include <cstdio>

#include "link/link_controller.h"
#include "protocol/catalogue.h"

namespace halvek::builders {
namespace {

std::string format2(const char* pattern, const char* a, const char* b) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, a, b);
    return buf;
}

template <size_t N>
bool withData(LinkController& link, const CommandInfo& c, const std::array<uint8_t, N>& data) {
    return link.sendCommand(c.code, data, c.awaitsReply, c.name);
}

}  // namespace

bool plain(LinkController& link, const CommandInfo& c) { return link.sendSimpleCommand(c.code, c.awaitsReply); }

bool setMode(LinkController& link, const CommandInfo& c) {
    const bool escrow = link.stores().setup.escrow, interrupt = link.interruptMode();
    const uint8_t data[] = {static_cast<uint8_t>((escrow ? 1 : 0) | (interrupt ? 2 : 0))};
    return link.sendCommand(c.code, data, false,
                            format2(c.name, interrupt ? "interrupt" : "polling", escrow ? "escrow on" : "escrow off"));
}

bool setBillEnable(LinkController& link, const CommandInfo& c) {
    uint8_t data[8] = {};
    const auto& enabled = link.stores().bills.enabled;
    for (size_t t = 0; t < enabled.size(); ++t)
        if (enabled[t]) data[t / 8] |= static_cast<uint8_t>(1u << (t % 8));
    if (link.extendedMode()) return link.sendCommand(c.code, data, false, c.name);
    const uint8_t shortMask[] = {data[1], data[0]};  // types 9-16 first
    return link.sendCommand(c.code, shortMask, false, c.name);
}

bool setNoteCfg(LinkController& link, const CommandInfo& c) {
    const SetupSwitches& s = link.stores().setup;
    const uint8_t data[] = {static_cast<uint8_t>((s.ways ? 1 : 0) | (s.sides ? 2 : 0))};
    return link.sendCommand(c.code, data, false,
                            format2(c.name, s.sides ? "1 side" : "2 sides", s.ways ? "1 way" : "2 ways"));
}

bool setProdDate(LinkController& link, const CommandInfo& c) {
    return withData(link, c, link.stores().identity.productionDate);
}
bool setFactNum(LinkController& link, const CommandInfo& c) {
    return withData(link, c, link.stores().identity.factoryNumber);
}
bool setSysId(LinkController& link, const CommandInfo& c) { return withData(link, c, link.stores().identity.systemId); }
bool setRtc(LinkController& link, const CommandInfo& c) { return withData(link, c, link.stores().rtc); }

bool uploadFirmware(LinkController& link, const CommandInfo& c) {
    link.block().receiveMode.store(ReceiveMode::Upload);
    return link.sendSimpleCommand(c.code, true);
}

bool runCrc16(LinkController& link, const CommandInfo& c) {
    const CrcStore& s = link.stores().crc;
    const uint8_t data[] = {static_cast<uint8_t>(s.polynomial >> 8), static_cast<uint8_t>(s.polynomial),
                            static_cast<uint8_t>(s.seed16 >> 8), static_cast<uint8_t>(s.seed16)};
    return link.sendCommand(c.code, data, false, c.name);
}

bool runCrc32(LinkController& link, const CommandInfo& c) {
    const uint32_t v = link.stores().crc.seed32;
    const uint8_t data[] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v)};
    return link.sendCommand(c.code, data, false, c.name);
}

bool requestVla(LinkController& link, const CommandInfo& c) {
    link.setInterruptMode(false);
    return link.sendSimpleCommand(c.code, false);
}

// The credit total counts a bill when the unit reports it stacked, not here:
// an accept the unit never acted on must not be money.
bool escrowDecision(LinkController& link, const CommandInfo& c) {
    if (!link.sendSimpleCommand(c.code, false)) return false;
    link.settlement().decisionPlaced(c.code == cmd::EscrowAccept ? EscrowAction::Accept : EscrowAction::Return);
    return true;
}

bool setAcceptAll(LinkController& link, const CommandInfo& c) {
    const uint8_t seconds = link.stores().acceptAllSeconds;
    char name[48];
    std::snprintf(name, sizeof name, c.name, seconds);
    const uint8_t data[] = {seconds};
    return link.sendCommand(c.code, data, false, name);
}

bool readCreditTable(LinkController& link, const CommandInfo& c) {
    // Asked in the long layout whatever the link's mode.
    static constexpr uint8_t kFrame[] = {0x02, 0x00, 0x00, 0x08, 0xE5, 0x01, 0xFF, 0x10};
    return link.sendRawFrame(c.code, kFrame, true, c.name);
}

bool readDiagn0(LinkController& link, const CommandInfo& c) {
    const uint8_t selector = link.diagnosticsSelector();
    const uint8_t data[] = {selector};
    if (!link.sendCommand(c.code, data, true, c.name)) return false;
    link.noteDiagnosticsSent(selector);
    return true;
}

bool writeCassetteId(LinkController& link, const CommandInfo& c) {
    const auto& id = link.stores().cassette.idToWrite;
    const uint8_t data[] = {id[5], id[4], id[3], id[2], id[1], id[0], id[7], id[6]};
    return link.sendCommand(c.code, data, false, c.name);
}

}  // namespace halvek::builders
