#pragma once

#include <termios.h>

namespace halvek {

enum class Parity { None, Even };

// The line as the validator and the ticket printer expect it: 8 data bits,
// 1 stop bit, raw binary, parity checked when used, no hardware or software
// flow control, receiver on and modem lines ignored.
termios makeLineSettings(const termios& current, int baud, Parity parity);

// Maps a baud rate in bits per second to its termios constant; B0 if unknown.
speed_t baudConstant(int baud);

}  // namespace halvek
