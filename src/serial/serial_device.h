#pragma once

#include <termios.h>

#include <string>

#include "serial/line_settings.h"

namespace halvek {

// The open routine shared by the validator port and the printer port.
struct DeviceOpenResult {
    int fd = -1;
    int error = 0;        // errno of the step that failed, 0 on success
    std::string message;  // names the device and the operating system's reason
    termios settings{};   // the record that was written to the line
};

DeviceOpenResult openSerialDevice(const std::string& path, int baud, Parity parity, bool nonBlocking);
// Lowers DTR, discards both queues (the output queue only when asked: after a
// drain it holds nothing that may be thrown away) and releases the device.
void closeSerialDevice(int fd, bool discardOutput = true);

}  // namespace halvek
