// How each command of the catalogue becomes a frame.
#include <cstdio>

#include "link/link_controller.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"

namespace halvek {
namespace {

std::string format2(const char* pattern, const char* a, const char* b) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, a, b);
    return buf;
}

}  // namespace

bool LinkController::hasBuilder(uint8_t code) const { return findCommand(code) != nullptr; }

void LinkController::afterBuild(uint8_t code) {
    lastSentCode_ = code;
    if (lowerPage_ == page::CommandStatus) {
        stores_.panes.commandDirty = true;
        ui_.repaintDrawingArea(false);
    }
}

bool LinkController::sendSimpleCommand(uint8_t code, bool expectsData) {
    const CommandInfo* info = findCommand(code);
    // The name is recorded even when another frame is still waiting.
    stores_.history.recordCommand(info ? info->name : "");
    if (!buildFrame(block_, code)) return false;
    requests_[code] = expectsData ? RequestState::AwaitingReply : RequestState::Idle;
    afterBuild(code);
    return true;
}

bool LinkController::buildWithData(uint8_t code, std::span<const uint8_t> data, bool awaits, const std::string& name) {
    if (!buildFrame(block_, code, data)) return false;
    requests_[code] = awaits ? RequestState::AwaitingReply : RequestState::Idle;
    stores_.history.recordCommand(name);
    afterBuild(code);
    return true;
}

bool LinkController::build(uint8_t code) {
    const CommandInfo* info = findCommand(code);
    if (info == nullptr) return false;
    Stores& s = stores_;
    switch (code) {
        case cmd::SetMode: {
            const uint8_t d = static_cast<uint8_t>((s.setup.escrow ? 1 : 0) | (interruptMode() ? 2 : 0));
            const uint8_t data[] = {d};
            return buildWithData(code, data, false,
                                 format2(info->name, interruptMode() ? "interrupt" : "polling",
                                         s.setup.escrow ? "escrow on" : "escrow off"));
        }
        case cmd::SetBillEnable: {
            uint8_t data[8] = {};
            for (int t = 0; t < kBillTypes; ++t)
                if (s.bills.enabled[t]) data[t / 8] |= static_cast<uint8_t>(1 << (t % 8));
            if (extendedMode()) return buildWithData(code, data, false, info->name);
            const uint8_t shortMask[] = {data[1], data[0]};  // types 9-16 first
            return buildWithData(code, shortMask, false, info->name);
        }
        case cmd::SetNoteCfg: {
            const uint8_t data[] = {static_cast<uint8_t>((s.setup.ways ? 1 : 0) | (s.setup.sides ? 2 : 0))};
            return buildWithData(
                code, data, false,
                format2(info->name, s.setup.sides ? "1 side" : "2 sides", s.setup.ways ? "1 way" : "2 ways"));
        }
        case cmd::SetProdDate:
            return buildWithData(code, s.identity.productionDate, false, info->name);
        case cmd::SetFactNum:
            return buildWithData(code, s.identity.factoryNumber, false, info->name);
        case cmd::SetSysId:
            return buildWithData(code, s.identity.systemId, false, info->name);
        case cmd::SetRtc:
            return buildWithData(code, s.rtc, false, info->name);
        case cmd::RunCrc16: {
            const uint8_t data[] = {static_cast<uint8_t>(s.crc.polynomial >> 8), static_cast<uint8_t>(s.crc.polynomial),
                                    static_cast<uint8_t>(s.crc.seed16 >> 8), static_cast<uint8_t>(s.crc.seed16)};
            return buildWithData(code, data, false, info->name);
        }
        case cmd::RunCrc32: {
            const uint32_t v = s.crc.seed32;
            const uint8_t data[] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                                    static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
            return buildWithData(code, data, false, info->name);
        }
        case cmd::SetAcceptAll: {
            char name[48];
            std::snprintf(name, sizeof name, info->name, s.acceptAllSeconds);
            const uint8_t data[] = {s.acceptAllSeconds};
            return buildWithData(code, data, false, name);
        }
        case cmd::ReadCreditTable: {
            // Asked in the long layout whatever the link's mode.
            if (!block_.transmitFree()) return false;
            const uint8_t frame[] = {0x02, 0x00, 0x00, 0x08, 0xE5, 0x01, 0xFF, 0x10};
            block_.placeFrame(frame, sizeof frame);
            requests_[code] = RequestState::AwaitingReply;
            s.history.recordCommand(info->name);
            afterBuild(code);
            return true;
        }
        case cmd::ReadDiagn0: {
            const uint8_t data[] = {diagnosticsSelector_};
            if (!buildWithData(code, data, true, info->name)) return false;
            sentDiagnosticsSelector_ = diagnosticsSelector_;
            return true;
        }
        case cmd::WriteCassetteId: {
            const auto& id = s.cassette.idToWrite;
            const uint8_t data[] = {id[5], id[4], id[3], id[2], id[1], id[0], id[7], id[6]};
            return buildWithData(code, data, false, info->name);
        }
        case cmd::UploadFirmware:
            block_.receiveMode.store(ReceiveMode::Upload);
            return sendSimpleCommand(code, true);
        case cmd::RequestVla:
            setInterruptMode(false);
            return sendSimpleCommand(code, false);
        case cmd::EscrowAccept:
            if (!sendSimpleCommand(code, false)) return false;
            // Credited once, for the frame that actually leaves.
            if (s.escrow.creditLimitOn) {
                s.escrow.creditTotal += s.escrow.escrowValue;
                ui_.refreshView(View::Escrow);
            }
            return true;
        default:
            return sendSimpleCommand(code, info->awaitsReply);
    }
}

}  // namespace halvek
