// One row per command: its frame, what its reply stores, and the views that
// then show fresh data. Adding a command is a row here, a row in the
// catalogue and, where its reply carries data, the parse beside its page.
#include "link/command_table.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "link/command_builders.h"
#include "link/link_controller.h"
#include "link/reply_handlers.h"
#include "pages/bills/bills_replies.h"
#include "pages/cassette/cassette_replies.h"
#include "pages/counters/counters_replies.h"
#include "pages/crc/crc_replies.h"
#include "pages/identity/identity_replies.h"
#include "pages/rtc/rtc_replies.h"
#include "pages/statistics/statistics_replies.h"

namespace halvek {
namespace {

// A reply stored by a pure parse into one record of the stores.
// A parse that can refuse a reply (too short for its layout) says so to the link.
template <auto Member, auto Parse>
void into(LinkController& link, const Reply& r) {
    if constexpr (std::is_same_v<decltype(Parse(link.stores().*Member, r)), bool>) {
        if (!Parse(link.stores().*Member, r)) link.replyUnusable();
    } else {
        Parse(link.stores().*Member, r);
    }
}

using namespace builders;
using namespace handlers;
using V = View;

constexpr CommandRow kTable[] = {
    {cmd::ClearProdDate, plain, nullptr, {}},
    {cmd::ClearSerNum, plain, nullptr, {}},
    {cmd::ClearStats, plain, nullptr, {}},
    {cmd::ClearLifeCount, plain, nullptr, {}},
    {cmd::RestoreDefaults, plain, nullptr, {}},
    {cmd::ResetSystem, plain, nullptr, {}},
    {cmd::ClearBillCounter, plain, nullptr, {}},
    {cmd::ClearQrvCounter, plain, nullptr, {}},
    {cmd::SetMode, setMode, nullptr, {}},
    {cmd::SetBillEnable, setBillEnable, nullptr, {}},
    {cmd::SetNoteCfg, setNoteCfg, nullptr, {}},
    {cmd::SetProdDate, setProdDate, nullptr, {}},
    {cmd::SetStackerOptional, plain, nullptr, {}},
    {cmd::SetStackerRequired, plain, nullptr, {}},
    {cmd::SetFactNum, setFactNum, nullptr, {}},
    {cmd::SetPlateOpen, plain, nullptr, {}},
    {cmd::SetPlateClosed, plain, nullptr, {}},
    {cmd::DisableL2, plain, nullptr, {}},
    {cmd::EnableL2, plain, nullptr, {}},
    {cmd::CycleStacker, plain, nullptr, {}},
    {cmd::ReadStackerSensor, plain, into<&Stores::cassette, storeStackerSensor>, {V::CassetteControls}},
    {cmd::SetSysId, setSysId, nullptr, {}},
    {cmd::SetRtc, setRtc, nullptr, {}},
    {cmd::UploadFirmware, uploadFirmware, nullptr, {}},
    {cmd::DownloadFirmware, plain, nullptr, {}},
    {cmd::RunCrc16, runCrc16, nullptr, {}},
    {cmd::ReadCrc16, plain, into<&Stores::crc, storeCrc16>, {V::Crc}},
    {cmd::RunCrc32, runCrc32, nullptr, {}},
    {cmd::ReadCrc32, plain, into<&Stores::crc, storeCrc32>, {V::Crc}},
    {cmd::RequestVla, requestVla, nullptr, {}},
    {cmd::EscrowAccept, escrowDecision, nullptr, {}},
    {cmd::EscrowReturn, escrowDecision, nullptr, {}},
    {cmd::RestartEscrow, plain, nullptr, {}},
    {cmd::ReadOpMode, plain, nullptr, {}},
    {cmd::ReadBillEnable, plain, into<&Stores::bills, storeBillEnable>, {V::BillList}},
    {cmd::ReadSecLevel, plain, into<&Stores::bills, storeSecurity>, {V::BillList}},
    {cmd::ReadNoteCfg, plain, nullptr, {}},
    {cmd::ReadVdo, plain, nullptr, {}},
    {cmd::ReadSystemId, plain, into<&Stores::identity, storeSystemId>, {V::RevId}},
    {cmd::ReadRtc, plain, into<&Stores::rtc, storeRtc>, {V::Rtc}},
    {cmd::ReadSerNum, plain, into<&Stores::identity, storeSerialNumber>, {V::Factory}},
    {cmd::ReadAssetNum, plain, into<&Stores::identity, storeAssetNumber>, {V::RevId}},
    {cmd::ReadFactNum, plain, into<&Stores::identity, storeFactoryNumber>, {V::Factory}},
    {cmd::ReadProdDate, plain, into<&Stores::identity, storeProductionDate>, {V::Factory}},
    {cmd::SetAcceptAll, setAcceptAll, nullptr, {}},
    {cmd::ReadBurnCycles, plain, into<&Stores::identity, storeBurnCycles>, {V::Factory}},
    {cmd::ReadProgRev, plain, programRevision, {V::RevId}},
    {cmd::ReadLastFive, plain, into<&Stores::counters, storeLastFive>, {V::Counters}},
    {cmd::ReadBillCounter, plain, lifeCount, {V::Counters}},
    {cmd::ReadCassFaultBuf, plain, into<&Stores::cassette, storeCassetteFaults>, {V::CassetteData}},
    {cmd::ReadCassBillBuf, plain, cassetteBills, {}},
    {cmd::ReadStats, plain, into<&Stores::statistics, storeStatistics>, {V::Statistics, V::ViewData}},
    {cmd::Read1kStats, plain, nullptr, {}},
    {cmd::ReadQrvBillCount, plain, into<&Stores::counters, storeQrvCounts>, {V::Counters}},
    {cmd::ReadSetupNv, plain, nullptr, {}},
    {cmd::ReadSetup, plain, setupByte, {V::Setup}},
    {cmd::ReadUnitOpt, plain, unitOptions, {V::BillList, V::ViewData}},
    {cmd::ReadIndCounter, plain, nullptr, {}},
    {cmd::ReadBarcodeCounter, plain, nullptr, {}},
    {cmd::ReadCreditTable, readCreditTable, creditTable, {V::BillList, V::ViewData}},
    {cmd::ReadDipSwitch, plain, nullptr, {}},
    {cmd::ReadDiagn0, readDiagn0, diagnostics0, {}},
    {cmd::ReadDiagn1, plain, diagnostics1, {V::MainOptics, V::ViewData, V::QuickTest}},
    {cmd::ReadDiagn2, plain, nullptr, {}},
    {cmd::ReadDiagn3, plain, nullptr, {}},
    {cmd::VideoSamples, nullptr, videoSamples, {V::ViewData}, true},
    {cmd::ReadRecogAlgo, plain, nullptr, {}},
    {cmd::InhibitUnit, plain, nullptr, {}},
    {cmd::UninhibitUnit, plain, nullptr, {}},
    {cmd::SaveSetup, plain, nullptr, {}},
    {cmd::WriteCassetteId, writeCassetteId, nullptr, {}},
    {cmd::EraseSda, plain, nullptr, {}},
    {cmd::ReadCassetteId, plain, into<&Stores::cassette, storeCassetteId>, {V::CassetteData}},
};

constexpr bool sortedByCode() {
    for (size_t i = 1; i < std::size(kTable); ++i)
        if (kTable[i - 1].code >= kTable[i].code) return false;
    return true;
}
static_assert(sortedByCode(), "the command table is looked up by binary search");

}  // namespace

std::span<const CommandRow> commandTable() { return kTable; }

const CommandRow* findCommandRow(uint8_t code) {
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), code,
                               [](const CommandRow& c, uint8_t v) { return c.code < v; });
    return (it != std::end(kTable) && it->code == code) ? &*it : nullptr;
}

}  // namespace halvek
