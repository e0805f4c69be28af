#pragma once

#include <cstdint>
#include <span>

#include "link/user_interface.h"
#include "protocol/catalogue.h"
#include "protocol/reply.h"

namespace halvek {

class LinkController;

// Places the frame of a command; false (nothing changed) while the transmit
// buffer is still busy, so the request stays and is tried again.
using CommandBuilder = bool (*)(LinkController& link, const CommandInfo& command);
// Stores what a reply carries.
using ReplyStore = void (*)(LinkController& link, const Reply& reply);

// Everything the host does with one command: how its frame is built, what its
// reply stores and which views then show fresh data. The history name and
// whether the reply is awaited come from the catalogue row of the same code.
struct CommandRow {
    uint8_t code;
    CommandBuilder build;  // nullptr: the validator sends it, the host never asks
    ReplyStore store;      // nullptr: the reply carries nothing the host keeps
    Views refresh;
    // The validator may send this reply without being asked for it (or answers a
    // command that leaves no wait behind): it is taken whenever it comes.
    bool takenUnasked = false;
};

std::span<const CommandRow> commandTable();
// nullptr for a code the table does not know.
const CommandRow* findCommandRow(uint8_t code);

}  // namespace halvek
