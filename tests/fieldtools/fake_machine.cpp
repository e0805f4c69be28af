#include "fake_machine.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace halvek::test {

namespace fs = std::filesystem;

FakeMachine::FakeMachine() {
    std::string pattern = fs::temp_directory_path() / "halvek-machine-XXXXXX";
    root_ = ::mkdtemp(pattern.data());
    fs::create_directories(at("/sys/class/tty"));
    fs::create_directories(at("/dev"));
    fs::create_directories(at("/proc"));
    fs::create_directories(at("/etc"));
}

FakeMachine::~FakeMachine() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path FakeMachine::at(const std::string& machinePath) const {
    return fs::path(root_) / fs::path(machinePath).relative_path();
}

void FakeMachine::write(const std::string& machinePath, const std::string& content) {
    fs::create_directories(at(machinePath).parent_path());
    std::ofstream(at(machinePath)) << content;
}

// Relative links, as the kernel and udev make them, so they resolve inside the folder.
void FakeMachine::link(const std::string& machinePath, const std::string& target) {
    const fs::path from = at(machinePath);
    fs::create_directories(from.parent_path());
    const fs::path to = target[0] == '/' ? fs::relative(at(target), from.parent_path()) : fs::path(target);
    fs::create_symlink(to, from);
}

void FakeMachine::addUsb(const Usb& a) {
    const std::string usbDevice = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(a.busPort);
    const std::string iface = usbDevice + "/1-" + std::to_string(a.busPort) + ":1.0";
    write(usbDevice + "/idVendor", a.vendor + "\n");
    write(usbDevice + "/idProduct", a.product + "\n");
    if (!a.manufacturer.empty()) write(usbDevice + "/manufacturer", a.manufacturer + "\n");
    if (!a.productName.empty()) write(usbDevice + "/product", a.productName + "\n");
    if (!a.serial.empty()) write(usbDevice + "/serial", a.serial + "\n");
    write(iface + "/bInterfaceNumber", "00\n");
    // USB-serial converters hang a port device below the interface; ACM modems do not.
    const bool acm = a.driver == "cdc_acm";
    const std::string port = acm ? iface : iface + "/" + a.tty;
    fs::create_directories(at("/sys/bus/usb-serial/drivers/" + a.driver));
    fs::create_directories(at(port));
    link(port + "/driver", "/sys/bus/usb-serial/drivers/" + a.driver);
    if (a.latencyMs >= 0) write(port + "/latency_timer", std::to_string(a.latencyMs) + "\n");
    const std::string ttyDir = port + "/tty/" + a.tty;
    write(ttyDir + "/dev", (acm ? "166:" : "188:") + a.tty.substr(a.tty.size() - 1) + "\n");
    link(ttyDir + "/device", port);
    link("/sys/class/tty/" + a.tty, ttyDir);
    write("/dev/" + a.tty, "");
    if (!a.byId.empty()) link("/dev/serial/by-id/" + a.byId, "../../" + a.tty);
}

void FakeMachine::addBuiltin(const std::string& tty, int type) {
    const std::string dev = "/sys/devices/platform/serial8250/" + tty;
    fs::create_directories(at("/sys/bus/platform/drivers/serial8250"));
    write(dev + "/tty/" + tty + "/type", std::to_string(type) + "\n");
    write(dev + "/tty/" + tty + "/dev", "4:" + std::to_string(64 + std::stoi(tty.substr(4))) + "\n");
    fs::create_directories(at(dev));
    link(dev + "/driver", "/sys/bus/platform/drivers/serial8250");
    link(dev + "/tty/" + tty + "/device", dev);
    link("/sys/class/tty/" + tty, dev + "/tty/" + tty);
    write("/dev/" + tty, "");
}

void FakeMachine::addVirtual(const std::string& tty) {
    write("/sys/devices/virtual/tty/" + tty + "/dev", "4:1\n");
    link("/sys/class/tty/" + tty, "/sys/devices/virtual/tty/" + tty);
    write("/dev/" + tty, "");
}

void FakeMachine::unplug(const std::string& tty) {
    std::error_code ec;
    const fs::path cls = at("/sys/class/tty/" + tty);
    fs::remove_all(fs::canonical(cls, ec), ec);
    fs::remove(cls, ec);
    fs::remove(at("/dev/" + tty), ec);
    for (const auto& e : fs::directory_iterator(at("/dev/serial/by-id"), ec))
        if (fs::read_symlink(e.path(), ec).filename() == tty) fs::remove(e.path(), ec);
}

bool FakeMachine::addNode(const std::string& machinePath, unsigned major, unsigned minor) {
    fs::create_directories(at(machinePath).parent_path());
    std::error_code ec;
    fs::remove(at(machinePath), ec);
    return ::mknod(at(machinePath).c_str(), S_IFCHR | 0660, makedev(major, minor)) == 0;
}

void FakeMachine::addProcess(int pid, const std::string& command, const std::vector<std::string>& openFiles) {
    const std::string dir = "/proc/" + std::to_string(pid);
    write(dir + "/comm", command + "\n");
    fs::create_directories(at(dir + "/fd"));
    int fd = 0;
    for (const std::string& f : openFiles) fs::create_symlink(f, at(dir + "/fd/" + std::to_string(fd++)));
}

void FakeMachine::addGroup(const std::string& line) { std::ofstream(at("/etc/group"), std::ios::app) << line << "\n"; }

}  // namespace halvek::test
