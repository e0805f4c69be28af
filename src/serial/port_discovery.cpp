#include "serial/port_discovery.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace halvek {
namespace {

namespace fs = std::filesystem;

// A machine path ("/dev/ttyUSB0") as seen under the root the caller gave.
fs::path under(const std::string& root, const std::string& machinePath) {
    if (root.empty() || root == "/") return machinePath;
    return fs::path(root) / fs::path(machinePath).relative_path();
}

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// The last part of where a symbolic link points ("../../ttyUSB0" -> "ttyUSB0").
std::string linkTargetName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// by-id name for each device name ("ttyUSB0" -> "/dev/serial/by-id/usb-...").
std::map<std::string, std::string> byIdNames(const std::string& root) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    std::vector<std::string> links;
    for (const auto& e : fs::directory_iterator(under(root, "/dev/serial/by-id"), ec))
        links.push_back(e.path().filename().string());
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        const std::string target = linkTargetName(under(root, "/dev/serial/by-id/" + link));
        if (!target.empty()) names.emplace(target, "/dev/serial/by-id/" + link);
    }
    return names;
}

// Fills the USB facts by walking up from the port's device folder to the USB
// interface and the USB device above it. Stops at the top of the sys tree.
void readUsb(const fs::path& deviceDir, const fs::path& sysTop, SerialDeviceInfo& d) {
    std::error_code ec;
    for (fs::path p = deviceDir; !p.empty() && p != sysTop && p != p.parent_path(); p = p.parent_path()) {
        if (d.usbInterface.empty() && present(p / "bInterfaceNumber"))
            d.usbInterface = readLine(p / "bInterfaceNumber");
        if (present(p / "idVendor")) {
            d.vendorId = readLine(p / "idVendor");
            d.productId = readLine(p / "idProduct");
            d.manufacturer = readLine(p / "manufacturer");
            d.product = readLine(p / "product");
            d.serialNumber = readLine(p / "serial");
            return;
        }
    }
}

// Reads one entry of the tty class; false when it is no serial device worth listing.
bool readTty(const std::string& root, const std::string& name, const std::map<std::string, std::string>& byId,
             SerialDeviceInfo& d) {
    const fs::path classDir = under(root, "/sys/class/tty/" + name);
    std::error_code ec;
    if (!present(classDir / "device")) return false;  // virtual terminals, ptmx, console
    fs::path deviceDir = fs::canonical(classDir / "device", ec);
    if (ec) return false;
    // Newer kernels put a serial-core port between the tty and the hardware; the
    // driver worth naming is the one of the hardware above it.
    while (linkTargetName(deviceDir / "subsystem") == "serial-base" && deviceDir.has_parent_path())
        deviceDir = deviceDir.parent_path();
    // Built-in 8250 ports are listed for every possible UART; type 0 means none is there.
    if (present(classDir / "type") && readLine(classDir / "type") == "0") return false;
    if (!present(under(root, "/dev/" + name))) return false;  // no node to open (a container's view)
    d.name = name;
    d.path = "/dev/" + name;
    d.driver = linkTargetName(deviceDir / "driver");
    if (auto it = byId.find(name); it != byId.end()) d.byIdPath = it->second;
    if (present(deviceDir / "latency_timer")) {
        const std::string t = readLine(deviceDir / "latency_timer");
        d.latencyTimerMs = t.empty() ? -1 : std::atoi(t.c_str());
    }
    readUsb(deviceDir, fs::canonical(under(root, "/sys"), ec), d);
    return true;
}

// The length of the well-formed UTF-8 sequence at s[i] (2 to 4), or 0.
size_t utf8Sequence(const std::string& s, size_t i) {
    const auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c = at(i);
    size_t n = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at(i + 1) < low || at(i + 1) > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);  // the byte, whatever the sign of char
        if (c == '"' || c == '\\') {
            out += '\\';
            out += s[i];
        } else if (const size_t n = c >= 0x80 ? utf8Sequence(s, i) : 0; n > 0) {
            // An adapter's name in UTF-8 ("Café") is passed on as it is.
            out.append(s, i, n);
            i += n - 1;
        } else if (c < 0x20 || c >= 0x7F) {
            // Any other byte as an escape: a byte that is not valid UTF-8 would
            // make the whole list unreadable to a JSON reader.
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += s[i];
        }
    }
    return out + "\"";
}

}  // namespace

std::string SerialDeviceInfo::displayName() const { return byIdPath.empty() ? path : byIdPath; }

std::vector<SerialDeviceInfo> discoverSerialPorts(const std::string& root) {
    const auto byId = byIdNames(root);
    std::vector<SerialDeviceInfo> devices;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(under(root, "/sys/class/tty"), ec)) {
        SerialDeviceInfo d;
        if (readTty(root, e.path().filename().string(), byId, d)) devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.path < b.path; });
    return devices;
}

SerialDeviceInfo describeSerialPort(const std::string& path, const std::string& root) {
    std::string name = fs::path(path).filename().string();
    // A by-id (or any other) link names its device by where it points.
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(under(root, path), ec))) name = linkTargetName(under(root, path));
    SerialDeviceInfo d;
    if (!readTty(root, name, byIdNames(root), d)) d = SerialDeviceInfo{};
    d.path = d.path.empty() ? path : d.path;
    if (path.rfind("/dev/serial/by-id/", 0) == 0) d.byIdPath = path;
    return d;
}

namespace {

// Pseudo-terminal slaves: majors 136 to 143.
constexpr unsigned kPtySlaveMajorFirst = 136, kPtySlaveMajorLast = 143;

PortIdentity::Node nodeOf(const struct stat& st) {
    PortIdentity::Node n;
    n.known = true;
    n.rdev = st.st_rdev;
    const unsigned major = ::major(st.st_rdev);
    n.pseudoTerminal = S_ISCHR(st.st_mode) && major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast;
    // A fixed node keeps its number whatever is plugged in behind it: the number is the device.
    if (n.pseudoTerminal || !S_ISCHR(st.st_mode)) {
        n.ino = st.st_ino;
        n.ctimeSec = st.st_ctim.tv_sec;
        n.ctimeNsec = st.st_ctim.tv_nsec;
    }
    return n;
}

PortIdentity::Node deviceNode(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    return nodeOf(st);
}

PortIdentity::Node linkNode(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    return nodeOf(st);
}

// The chosen path leads to the device the identity was taken from.
bool sameDevice(const PortIdentity& unit, const std::string& root) {
    if (!unit.node.known) return true;  // nothing known of the node: the path is all there is
    const fs::path p = under(root, unit.path);
    // udev's rule links and the simulator's link are made anew for the device they name.
    if (unit.link.known && linkNode(p).known && !(linkNode(p) == unit.link)) return true;
    return deviceNode(p) == unit.node;
}

}  // namespace

PortIdentity identifyPort(const std::string& path, const std::string& root) {
    const SerialDeviceInfo d = describeSerialPort(path, root);
    PortIdentity id{path, d.byIdPath, d.vendorId, d.productId, d.serialNumber};
    id.node = deviceNode(under(root, path));
    id.link = linkNode(under(root, path));
    return id;
}

std::string resolvePort(const PortIdentity& unit, const std::string& root) {
    if (!unit.byIdPath.empty() && present(under(root, unit.byIdPath))) {
        // Keep the by-id name when that is what the user chose: it follows the unit by itself.
        if (unit.path == unit.byIdPath) return unit.path;
        const SerialDeviceInfo d = describeSerialPort(unit.byIdPath, root);
        return d.name.empty() ? unit.byIdPath : d.path;
    }
    const bool identified = !unit.serialNumber.empty();
    if (identified) {
        for (const SerialDeviceInfo& d : discoverSerialPorts(root))
            if (d.serialNumber == unit.serialNumber && d.vendorId == unit.vendorId && d.productId == unit.productId)
                return d.path;
        return {};
    }
    if (!unit.byIdPath.empty()) return {};  // the unit's link is gone: it is unplugged
    return present(under(root, unit.path)) && sameDevice(unit, root) ? unit.path : std::string();
}

std::string formatPortList(const std::vector<SerialDeviceInfo>& devices) {
    if (devices.empty()) return "no serial devices found\n";
    std::ostringstream out;
    for (const SerialDeviceInfo& d : devices) {
        out << d.path;
        if (d.isUsb()) {
            out << "  usb " << d.vendorId << ":" << d.productId;
            std::string label = d.manufacturer;
            if (!d.product.empty()) label += (label.empty() ? "" : " ") + d.product;
            if (!label.empty()) out << " " << label;
            if (!d.serialNumber.empty()) out << " (serial " << d.serialNumber << ")";
        }
        if (!d.driver.empty()) out << "  driver " << d.driver;
        if (d.latencyTimerMs >= 0) out << "  latency " << d.latencyTimerMs << " ms";
        out << "\n";
        if (!d.byIdPath.empty()) out << "    " << d.byIdPath << "\n";
    }
    return out.str();
}

std::string formatPortListJson(const std::vector<SerialDeviceInfo>& devices) {
    std::ostringstream out;
    out << "[";
    for (size_t i = 0; i < devices.size(); ++i) {
        const SerialDeviceInfo& d = devices[i];
        out << (i ? ",\n " : "\n ") << "{\"path\": " << jsonText(d.path) << ", \"byId\": " << jsonText(d.byIdPath)
            << ", \"driver\": " << jsonText(d.driver) << ", \"vendorId\": " << jsonText(d.vendorId)
            << ", \"productId\": " << jsonText(d.productId) << ", \"manufacturer\": " << jsonText(d.manufacturer)
            << ", \"product\": " << jsonText(d.product) << ", \"serial\": " << jsonText(d.serialNumber)
            << ", \"interface\": " << jsonText(d.usbInterface) << ", \"latencyTimerMs\": ";
        if (d.latencyTimerMs >= 0)
            out << d.latencyTimerMs;
        else
            out << "null";
        out << "}";
    }
    out << (devices.empty() ? "]\n" : "\n]\n");
    return out.str();
}

}  // namespace halvek
