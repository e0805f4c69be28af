#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"
#include "serial/port_map.h"

namespace halvek {

// One entry of the window's COM choice: the COM entries first, each naming the
// device it stands for, then the detected devices that no COM entry stands for yet.
struct PortChoice {
    std::string label;    // "COM 2  usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
    int comNumber = 0;    // the COM entry; 0 for a detected device
    std::string path;     // the device it opens
    std::string details;  // for a tooltip: the path and what the adapter says it is
};

std::vector<PortChoice> portChoices(const PortMap& map, const std::vector<SerialDeviceInfo>& detected, int comCount);

// "/dev/serial/by-id/usb-X" -> "usb-X", "/dev/ttyUSB0" -> "ttyUSB0"; other paths stay whole.
std::string shortDeviceName(const std::string& path);

}  // namespace halvek
