#pragma once

#include <string>

#include "link/user_interface.h"

namespace halvek {

// What a host program writes of bytes it did not make itself (the unit's
// strings, a device path from halvek.ini, what an adapter says of itself):
// plain printable ASCII stays; every other byte, control bytes and anything of
// 0x80 and above alike, is written as \xNN (tab, CR and LF as \t, \r, \n),
// so that no byte can drive the terminal and one line stays one line. The
// backslash stays as it is: the event texts show a coupon's odd bytes as \xNN
// already, and a technician should read them so, not doubled.
std::string escapeForTerminal(const std::string& text);

// A message of the core as one line: "title: text (detail)"; the detail (the
// device and the system's reason) escaped, as it may hold any byte of a path.
std::string shownMessage(const Message& m);

}  // namespace halvek
