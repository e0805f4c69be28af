#pragma once

#include <string>
#include <vector>

namespace halvek {

// One serial device of the machine, as the kernel and udev describe it.
// Paths are the machine's own ("/dev/ttyUSB0"), whatever root they were read under.
struct SerialDeviceInfo {
    std::string path;          // "/dev/ttyUSB0"
    std::string name;          // "ttyUSB0"
    std::string byIdPath;      // "/dev/serial/by-id/usb-FTDI_..._A50285BI-if00-port0", or empty
    std::string driver;        // "ftdi_sio", "cdc_acm", "serial8250", ...
    std::string vendorId;      // USB vendor, four hex digits, or empty for a built-in port
    std::string productId;     // USB product, four hex digits
    std::string manufacturer;  // USB strings, as the adapter reports them
    std::string product;
    std::string serialNumber;
    std::string usbInterface;  // bInterfaceNumber of the interface the port sits on ("00")
    int latencyTimerMs = -1;   // FTDI adapters only; -1 elsewhere

    bool isUsb() const { return !vendorId.empty(); }
    // The name a person recognises: the by-id name when there is one, else the path.
    std::string displayName() const;
};

// Reads the machine's serial devices from ROOT/sys/class/tty and ROOT/dev/serial/by-id,
// sorted by path. ROOT is "/" for the machine itself; tests pass a folder holding a
// fake tree. Terminals without a device behind them (tty0, console, ptmx) are left
// out, and so are the built-in 8250 ports that have no UART.
std::vector<SerialDeviceInfo> discoverSerialPorts(const std::string& root = "/");

// Describes the device at PATH (a /dev node or a by-id link), or an entry with only
// the path filled when it is not among the machine's serial devices.
SerialDeviceInfo describeSerialPort(const std::string& path, const std::string& root = "/");

// What is remembered of the unit a line was opened on, to find it again after a
// replug renamed its node (ttyUSB0 coming back as ttyUSB1).
struct PortIdentity {
    std::string path;  // what the user chose
    std::string byIdPath;
    std::string vendorId, productId, serialNumber;
    // The device node itself, for a unit no USB facts name: its device number,
    // and for a pseudo-terminal (whose number the next one takes) the node's
    // inode and change time. When the chosen path is a symbolic link, the link's
    // own inode and change time: a link made anew names the unit anew.
    struct Node {
        bool known = false;
        bool pseudoTerminal = false;
        unsigned long long rdev = 0, ino = 0;
        long long ctimeSec = 0, ctimeNsec = 0;
        bool operator==(const Node&) const = default;
    };
    Node node;
    Node link;
};

PortIdentity identifyPort(const std::string& path, const std::string& root = "/");

// Where the remembered unit is now: its by-id link if that is back, else the
// device with the same USB vendor, product and serial number, else the chosen path
// when it still leads to the same device node (or a symbolic link made anew leads
// on from it). Empty when the unit is not there: a different adapter that took
// over the old node name, or a new pseudo-terminal with the old number, is not
// taken for it.
std::string resolvePort(const PortIdentity& unit, const std::string& root = "/");

// One line per device for a person, and the same as a JSON array.
std::string formatPortList(const std::vector<SerialDeviceInfo>& devices);
std::string formatPortListJson(const std::vector<SerialDeviceInfo>& devices);

}  // namespace halvek
