#include "cli/read_targets.h"

#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek::cli {
namespace {

const ReadTarget kTargets[] = {
    {"bills", "the bill table, enables and security levels", {cmd::ReadBillEnable, cmd::ReadSecLevel}, printBills},
    {"stats",
     "accepted bills, event counts and the figure of merit",
     {cmd::ReadStats},
     printStatistics,
     nullptr,
     [](const LinkController& l) { return l.stores().statistics.received; }},
    {"sensors",
     "the bill-path sensors, temperatures and barcode emitters",
     {cmd::ReadDiagn0},
     printSensors,
     [](const LinkController& l) { return l.diagnosticsAvailable() ? nullptr : text::kSensorsNotAvailable; },
     [](const LinkController& l) { return l.stores().sensors.received; }},
    {"optics",
     "the main optics' calibration, every light",
     {cmd::ReadDiagn1},
     printOptics,
     opticsUnreadable,
     [](const LinkController& l) { return l.stores().optics.received; }},
    {"video",
     "the white-paper video levels with their ranges and verdict",
     {cmd::ReadDiagn0},
     printVideo,
     nullptr,
     [](const LinkController& l) { return l.stores().video.received; },
     kVideoSelector},
    {"setup", "the set-up switches", {cmd::ReadSetup}, printSetup},
    {"counters",
     "the life count, the last five bills and the QRV counts (Q7E)",
     {cmd::ReadBillCounter, cmd::ReadLastFive, cmd::ReadQrvBillCount},
     printCounters},
    {"identity",
     "revision, system id, asset, serial and factory numbers, production date, burn cycles (Q7E)",
     {cmd::ReadProgRev, cmd::ReadSystemId, cmd::ReadAssetNum, cmd::ReadSerNum, cmd::ReadFactNum, cmd::ReadProdDate,
      cmd::ReadBurnCycles},
     printIdentity},
    {"rtc", "the unit's real-time clock", {cmd::ReadRtc}, printRtc, rtcUnavailable},
};

}  // namespace

std::span<const ReadTarget> readTargets() { return kTargets; }

bool extendedOnly(uint8_t code) {
    return code == cmd::ReadQrvBillCount || code == cmd::ReadBurnCycles || code == cmd::ReadDiagn1;
}

}  // namespace halvek::cli
