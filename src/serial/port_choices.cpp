#include "serial/port_choices.h"

namespace halvek {
namespace {

std::string describe(const SerialDeviceInfo& d) {
    std::string s = d.path;
    if (!d.byIdPath.empty() && d.byIdPath != d.path) s += "\n" + d.byIdPath;
    if (d.isUsb()) {
        s += "\nUSB " + d.vendorId + ":" + d.productId;
        if (!d.manufacturer.empty()) s += " " + d.manufacturer;
        if (!d.product.empty()) s += " " + d.product;
        if (!d.serialNumber.empty()) s += ", serial " + d.serialNumber;
    }
    if (!d.driver.empty()) s += "\ndriver " + d.driver;
    return s;
}

const SerialDeviceInfo* findDevice(const std::vector<SerialDeviceInfo>& detected, const std::string& path) {
    for (const SerialDeviceInfo& d : detected)
        if (d.path == path || (!d.byIdPath.empty() && d.byIdPath == path)) return &d;
    return nullptr;
}

}  // namespace

std::string shortDeviceName(const std::string& path) {
    for (const char* dir : {"/dev/serial/by-id/", "/dev/"}) {
        const std::string prefix = dir;
        if (path.rfind(prefix, 0) == 0 && path.size() > prefix.size()) return path.substr(prefix.size());
    }
    return path;
}

std::vector<PortChoice> portChoices(const PortMap& map, const std::vector<SerialDeviceInfo>& detected, int comCount) {
    std::vector<PortChoice> out;
    std::vector<const SerialDeviceInfo*> taken;
    for (int n = 1; n <= comCount; ++n) {
        const std::string path = map.pathFor(n);
        const SerialDeviceInfo* d = findDevice(detected, path);
        if (d) taken.push_back(d);
        out.push_back({"COM " + std::to_string(n) + "  " + shortDeviceName(path), n, path,
                       d ? describe(*d) : path + "\nnot found on this machine"});
    }
    for (const SerialDeviceInfo& d : detected) {
        bool isTaken = false;
        for (const SerialDeviceInfo* t : taken) isTaken = isTaken || t == &d;
        if (!isTaken) out.push_back({shortDeviceName(d.displayName()), 0, d.displayName(), describe(d)});
    }
    return out;
}

}  // namespace halvek
