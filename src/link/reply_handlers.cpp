// What each data reply does: store, refresh the page concerned.
#include <algorithm>

#include "link/data_replies.h"
#include "link/link_controller.h"
#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {

void LinkController::handleReply(uint8_t code, const Reply& r) {
    requests_[code] = RequestState::Idle;
    Stores& s = stores_;
    auto copy = [&r](auto& field) {
        for (size_t i = 0; i < field.size(); ++i) field[i] = r.data(i);
    };
    auto invalidateIf = [this](std::initializer_list<int> pages) {
        if (std::find(pages.begin(), pages.end(), lowerPage_) != pages.end()) ui_.repaintDrawingArea(false);
    };
    switch (code) {
        case cmd::Ack:
            if (lowerPage_ == page::CommandStatus) {
                s.panes.commandDirty = s.panes.statusDirty = true;
                ui_.repaintDrawingArea(false);
            } else if (lowerPage_ == page::ViewData) {
                ui_.repaintDrawingArea(false);
            }
            break;
        case cmd::ReadStackerSensor:
            s.cassette.stackerSensor = r.data(0);
            ui_.refreshView(View::CassetteControls);
            break;
        case cmd::ReadCrc16:
            s.crc.result16 = r.data16(0);
            ui_.refreshView(View::Crc);
            break;
        case cmd::ReadCrc32:
            s.crc.result32 = static_cast<uint32_t>(r.data16(0)) << 16 | r.data16(2);
            ui_.refreshView(View::Crc);
            break;
        case cmd::ReadBillEnable:
            storeBillEnable(s.bills, r);
            ui_.refreshView(View::BillList);
            break;
        case cmd::ReadSecLevel:
            storeSecurity(s.bills, r);
            ui_.refreshView(View::BillList);
            break;
        case cmd::ReadSystemId:
            copy(s.identity.systemId);
            ui_.refreshView(View::RevId);
            break;
        case cmd::ReadRtc: {
            const size_t n = std::min<size_t>(r.dataCount(), s.rtc.size());
            for (size_t i = 0; i < n; ++i) s.rtc[i] = r.data(i);
            ui_.refreshView(View::Rtc);
            break;
        }
        case cmd::ReadSerNum:
            copy(s.identity.serialNumber);
            ui_.refreshView(View::Factory);
            break;
        case cmd::ReadAssetNum:
            copy(s.identity.assetNumber);
            ui_.refreshView(View::RevId);
            break;
        case cmd::ReadFactNum:
            copy(s.identity.factoryNumber);
            ui_.refreshView(View::Factory);
            break;
        case cmd::ReadProdDate:
            copy(s.identity.productionDate);
            ui_.refreshView(View::Factory);
            break;
        case cmd::ReadBurnCycles:
            s.identity.burnCycles = static_cast<int32_t>(r.data(0) | r.data(1) << 8 | r.data(2) << 16 |
                                                         static_cast<uint32_t>(r.data(3)) << 24);
            ui_.refreshView(View::Factory);
            break;
        case cmd::ReadProgRev:
            diagnosticsAvailable_ = diagnosticsAvailableFor(storeRevision(s.identity, r));
            ui_.refreshView(View::RevId);
            break;
        case cmd::ReadLastFive:
            storeLastFive(s.counters, r);
            ui_.refreshView(View::Counters);
            break;
        case cmd::ReadBillCounter:
            storeLifeCount(s.counters, r);
            ui_.refreshView(View::Counters);
            break;
        case cmd::ReadCassFaultBuf:
            copy(s.cassette.faultCounts);
            ui_.refreshView(View::CassetteData);
            break;
        case cmd::ReadCassBillBuf:
            for (size_t k = 0; k < 15; ++k) s.cassette.billCounts[k + 1] = r.data16(2 * k);
            request(cmd::ReadCassFaultBuf);
            break;
        case cmd::ReadStats:
            storeStatistics(s.statistics, r);
            invalidateIf({page::Statistics, page::ViewData});
            break;
        case cmd::ReadQrvBillCount:
            storeQrvCounts(s.counters, r);
            ui_.refreshView(View::Counters);
            break;
        case cmd::ReadSetup: {
            const uint8_t b = r.data(0);
            s.setup.sides = b & 0x01;
            s.setup.ways = b & 0x02;
            s.setup.escrow = b & 0x04;
            setInterruptMode(b & 0x08);
            s.setup.stacker = b & 0x10;
            s.setup.plate = b & 0x20;
            s.setup.inhibit = b & 0x40;
            s.setup.orientation = b & 0x80;
            ui_.setModeCaption((b & 0x08) ? text::kControllerInterrupt : text::kControllerPolling);
            ui_.refreshView(View::Setup);
            break;
        }
        case cmd::ReadUnitOpt:
        case cmd::ReadCreditTable:
            if (code == cmd::ReadCreditTable)
                storeCreditTable(s.bills, r);
            else
                storeUnitOptions(s.bills, r);
            ui_.refreshView(View::BillList);
            invalidateIf({page::ViewData});
            break;
        case cmd::ReadDiagn0:
            if (sentDiagnosticsSelector_ == 0xA1) {
                storeVideo(s.video, s.sensors.l8v, r);
                invalidateIf({page::VideoTest, page::ViewData, page::QuickTest});
            } else {
                storeSensors(s.sensors, r);
                invalidateIf({page::Sensors});
            }
            break;
        case cmd::ReadDiagn1:
            storeOptics(s.optics, s.sensors.l8v, r);
            invalidateIf({page::MainOptics, page::ViewData, page::QuickTest});
            break;
        case cmd::VideoSamples:
            // The second part is sent by the validator on its own; no command asks for it.
            storeVideoSamples(s.videoSamples, s.sensors.l8v, r);
            invalidateIf({page::ViewData});
            break;
        case cmd::ReadCassetteId:
            copy(s.cassette.idReply);
            ui_.refreshView(View::CassetteData);
            break;
        default:
            break;  // request state only: the data are not used
    }
    if (replyObserver_) replyObserver_(code, sentDiagnosticsSelector_);
}

}  // namespace halvek
