#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace halvek::test {

// A folder laid out like the parts of a Linux machine that port discovery and
// the doctor read: /sys/class/tty with its device links, /dev with plain files
// standing for device nodes, /dev/serial/by-id, /proc and /etc/group.
class FakeMachine {
  public:
    FakeMachine();
    ~FakeMachine();
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    const std::string& root() const { return root_; }

    struct Usb {
        std::string tty;     // "ttyUSB0" or "ttyACM0"
        std::string driver;  // "ftdi_sio", "ch341-uart", "cdc_acm", ...
        std::string vendor, product;
        std::string manufacturer, productName, serial;
        std::string byId;  // the by-id link's name, empty for none
        int latencyMs = -1;
        int busPort = 1;  // where on the bus it is plugged
    };
    void addUsb(const Usb& adapter);
    // A built-in 8250 port; type 0 means no UART answers at that address.
    void addBuiltin(const std::string& tty, int type);
    // A virtual terminal: a tty without a device behind it.
    void addVirtual(const std::string& tty);
    void unplug(const std::string& tty);
    // A real character device node with these numbers in place of the plain file
    // (mknod needs the privilege: false, and nothing made, without it).
    bool addNode(const std::string& machinePath, unsigned major, unsigned minor);
    void addProcess(int pid, const std::string& command, const std::vector<std::string>& openFiles = {});
    void addGroup(const std::string& line);
    void write(const std::string& machinePath, const std::string& content);
    void link(const std::string& machinePath, const std::string& target);

  private:
    std::filesystem::path at(const std::string& machinePath) const;
    std::string root_;
};

}  // namespace halvek::test
