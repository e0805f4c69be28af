#pragma once

#include "link/command_table.h"

namespace halvek::builders {

// The frames of the commands that carry data or take a step before they are
// sent. Every other command is sent plain, by `plain`.
bool plain(LinkController& link, const CommandInfo& command);
bool setMode(LinkController& link, const CommandInfo& command);
bool setBillEnable(LinkController& link, const CommandInfo& command);
bool setNoteCfg(LinkController& link, const CommandInfo& command);
bool setProdDate(LinkController& link, const CommandInfo& command);
bool setFactNum(LinkController& link, const CommandInfo& command);
bool setSysId(LinkController& link, const CommandInfo& command);
bool setRtc(LinkController& link, const CommandInfo& command);
bool uploadFirmware(LinkController& link, const CommandInfo& command);
bool runCrc16(LinkController& link, const CommandInfo& command);
bool runCrc32(LinkController& link, const CommandInfo& command);
bool requestVla(LinkController& link, const CommandInfo& command);
bool escrowDecision(LinkController& link, const CommandInfo& command);
bool setAcceptAll(LinkController& link, const CommandInfo& command);
bool readCreditTable(LinkController& link, const CommandInfo& command);
bool readDiagn0(LinkController& link, const CommandInfo& command);
bool writeCassetteId(LinkController& link, const CommandInfo& command);

}  // namespace halvek::builders
