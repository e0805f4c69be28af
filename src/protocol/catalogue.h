#pragma once

#include <cstdint>
#include <span>

namespace halvek {

// One command the host can send. The name is what the command history shows,
// exactly; a few names carry printf fields that their builders fill in.
struct CommandInfo {
    uint8_t code;
    const char* name;
    bool awaitsReply;  // the builder leaves the request AwaitingReply
    bool hasData;      // parameterised: built from values the pages set
};

std::span<const CommandInfo> catalogue();
// nullptr for a code the catalogue does not know.
const CommandInfo* findCommand(uint8_t code);

// Codes used by name across the program.
namespace cmd {
constexpr uint8_t ClearProdDate = 0x30, ClearSerNum = 0x31, ClearStats = 0x32, ClearLifeCount = 0x34,
                  RestoreDefaults = 0x35, ResetSystem = 0x36, ClearBillCounter = 0x37, ClearQrvCounter = 0x38,
                  SetMode = 0x40, SetBillEnable = 0x41, SetNoteCfg = 0x43, SetProdDate = 0x44,
                  SetStackerOptional = 0x45, SetStackerRequired = 0x46, SetFactNum = 0x47, SetPlateOpen = 0x48,
                  SetPlateClosed = 0x49, DisableL2 = 0x4A, EnableL2 = 0x4B, CycleStacker = 0x4C,
                  ReadStackerSensor = 0x4D, SetSysId = 0x50, SetRtc = 0x51, UploadFirmware = 0x60,
                  DownloadFirmware = 0x61, RunCrc16 = 0x62, ReadCrc16 = 0x63, RunCrc32 = 0x64, ReadCrc32 = 0x65,
                  RequestVla = 0x66, EscrowAccept = 0x80, EscrowReturn = 0x81, RestartEscrow = 0x82, ReadOpMode = 0xC0,
                  ReadBillEnable = 0xC1, ReadSecLevel = 0xC2, ReadNoteCfg = 0xC3, ReadVdo = 0xC4, Status = 0xCC,
                  ReadSystemId = 0xD0, ReadRtc = 0xD1, ReadSerNum = 0xD2, ReadAssetNum = 0xD3, ReadFactNum = 0xD4,
                  ReadProdDate = 0xD5, SetAcceptAll = 0xD6, ReadBurnCycles = 0xD7, ReadProgRev = 0xD8,
                  ReadLastFive = 0xD9, ReadBillCounter = 0xDA, ReadCassFaultBuf = 0xDB, ReadCassBillBuf = 0xDC,
                  ReadStats = 0xDD, Read1kStats = 0xDE, ReadQrvBillCount = 0xDF, ReadSetupNv = 0xE0, ReadSetup = 0xE1,
                  ReadUnitOpt = 0xE2, ReadIndCounter = 0xE3, ReadBarcodeCounter = 0xE4, ReadCreditTable = 0xE5,
                  ReadDipSwitch = 0xE6, ReadDiagn0 = 0xE7, ReadDiagn1 = 0xE8, ReadDiagn2 = 0xE9, ReadDiagn3 = 0xEA,
                  VideoSamples = 0xEB, ReadRecogAlgo = 0xEF, InhibitUnit = 0xF0, UninhibitUnit = 0xF1, SaveSetup = 0xF3,
                  WriteCassetteId = 0xF6, EraseSda = 0xF7, ReadCassetteId = 0xF8;
// Reply codes that are not commands.
constexpr uint8_t Ack = 0x00, PollNow = 0x55, Unsupported = 0x99;
}  // namespace cmd

}  // namespace halvek
