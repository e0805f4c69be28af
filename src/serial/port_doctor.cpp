#include "serial/port_doctor.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace halvek {
namespace {

namespace fs = std::filesystem;

fs::path under(const std::string& root, const std::string& machinePath) {
    if (root.empty() || root == "/") return machinePath;
    return fs::path(root) / fs::path(machinePath).relative_path();
}

// The machine path of a file found under the root.
std::string machinePath(const std::string& root, const fs::path& found) {
    if (root.empty() || root == "/") return found.string();
    std::error_code ec;
    const fs::path top = fs::canonical(root, ec);
    const fs::path rel = found.lexically_relative(ec ? fs::path(root) : top);
    return "/" + rel.string();
}

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the group file for the name and members of a group id.
void readGroup(const std::string& root, gid_t gid, DeviceFacts& d) {
    std::ifstream in(under(root, "/etc/group"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> field;
        std::stringstream ss(line);
        for (std::string f; std::getline(ss, f, ':');) field.push_back(f);
        if (field.size() < 3 || !allDigits(field[2]) || static_cast<gid_t>(std::stoul(field[2])) != gid) continue;
        d.groupName = field[0];
        if (field.size() > 3) {
            std::stringstream members(field[3]);
            for (std::string m; std::getline(members, m, ',');)
                if (!m.empty()) d.groupMembers.push_back(m);
        }
        return;
    }
    d.groupName = std::to_string(gid);
}

template <class Visit>
void forEachProcess(const std::string& root, Visit visit) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(under(root, "/proc"), ec)) {
        const std::string pid = e.path().filename().string();
        if (allDigits(pid)) visit(std::stoi(pid), e.path());
    }
}

// The pseudo-terminal number of /dev/pts/N, or -1 for any other node.
int ptsNumber(const std::string& node) {
    const std::string prefix = "/dev/pts/";
    if (node.rfind(prefix, 0) != 0 || !allDigits(node.substr(prefix.size()))) return -1;
    return std::stoi(node.substr(prefix.size()));
}

// Whether the open file fd of a process is the master of pseudo-terminal pts
// (the kernel names it in the descriptor's "tty-index").
bool servesPty(const fs::path& processDir, const std::string& fd, int pts) {
    std::ifstream in(processDir / "fdinfo" / fd);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("tty-index:", 0) == 0) return std::atoi(line.c_str() + 10) == pts;
    return false;
}

// Other processes holding the node open, from their open-file links. One that
// also holds the master of a pseudo-terminal node serves it (a simulator):
// that is how the line works, not a program in the way.
void findHolders(const std::string& root, const std::string& node, int selfPid, DeviceFacts& d) {
    const int pts = ptsNumber(node);
    forEachProcess(root, [&](int pid, const fs::path& dir) {
        if (pid == selfPid) return;
        std::error_code ec;
        fs::directory_iterator fds(dir / "fd", ec);
        if (ec) {
            // A process that ended meanwhile holds nothing; one kept from us might.
            if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) ++d.uncheckedProcesses;
            return;
        }
        bool holds = false, serves = false;
        for (const auto& fd : fds) {
            std::error_code lec;
            const fs::path target = fs::read_symlink(fd.path(), lec);
            if (target == node) holds = true;
            if (pts >= 0 && (target == "/dev/ptmx" || target == "/dev/pts/ptmx") &&
                servesPty(dir, fd.path().filename().string(), pts))
                serves = true;
        }
        if (serves)
            d.servers.push_back({pid, readLine(dir / "comm")});
        else if (holds)
            d.holders.push_back({pid, readLine(dir / "comm")});
    });
}

// The kernel's name of the terminal with this device number ("ttyUSB0"), found
// by the numbers in /sys/class/tty/*/dev; empty when no terminal has them.
std::string ttyNamed(dev_t number, const std::string& root) {
    const std::string wanted = std::to_string(major(number)) + ":" + std::to_string(minor(number));
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(under(root, "/sys/class/tty"), ec))
        if (readLine(e.path() / "dev") == wanted) return e.path().filename().string();
    return {};
}

// Whether the device number is a pseudo-terminal's: those are not listed in
// /sys/class/tty, their major number is named "pts" in /proc/devices.
bool pseudoTerminal(dev_t number, const std::string& root) {
    std::ifstream in(under(root, "/proc/devices"));
    bool characters = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line.back() == ':') {
            characters = line == "Character devices:";
            continue;
        }
        std::istringstream fields(line);
        unsigned majorNumber = 0;
        std::string name;
        if (characters && fields >> majorNumber >> name && name == "pts" && majorNumber == major(number)) return true;
    }
    return false;
}

// Whether udev told ModemManager to leave the device alone.
bool markedForModemManager(const std::string& root, const std::string& name) {
    const std::string dev = readLine(under(root, "/sys/class/tty/" + name + "/dev"));
    if (dev.empty()) return false;
    std::ifstream in(under(root, "/run/udev/data/c" + dev));
    std::string line;
    while (std::getline(in, line))
        if (line == "E:ID_MM_DEVICE_IGNORE=1") return true;
    return false;
}

std::string permissionText(unsigned mode) {
    std::string s = "---------";
    const char letters[] = "rwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (0400u >> i)) s[static_cast<size_t>(i)] = letters[i % 3];
    return s;
}

bool mayOpen(const DeviceFacts& d, const UserFacts& u) {
    if (u.uid == 0) return true;
    if (d.owner == u.uid) return (d.mode & 0600) == 0600;
    if (std::find(u.groups.begin(), u.groups.end(), d.group) != u.groups.end()) return (d.mode & 0060) == 0060;
    return (d.mode & 0006) == 0006;
}

std::string describe(const SerialDeviceInfo& i) {
    std::string s = i.manufacturer;
    if (!i.product.empty()) s += (s.empty() ? "" : " ") + i.product;
    if (!i.serialNumber.empty()) s += (s.empty() ? "serial " : ", serial ") + i.serialNumber;
    if (s.empty() && !i.driver.empty()) s = "driver " + i.driver;
    return s.empty() ? "" : " (" + s + ")";
}

std::string holderList(const std::vector<Holder>& holders) {
    std::string s;
    for (const Holder& h : holders)
        s += (s.empty() ? "" : ", ") + (h.command.empty() ? "?" : h.command) + " (pid " + std::to_string(h.pid) + ")";
    return s;
}

std::string pidList(const std::vector<Holder>& holders) {
    std::string s;
    for (const Holder& h : holders) s.append(" ").append(std::to_string(h.pid));
    return s;
}

constexpr const char* kRuleHint = "the example udev rule 60-halvek-serial.rules";

}  // namespace

UserFacts currentUser() {
    UserFacts u;
    u.uid = ::getuid();
    const int n = ::getgroups(0, nullptr);
    u.groups.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0 && ::getgroups(n, u.groups.data()) != n) u.groups.clear();
    u.groups.push_back(::getgid());
    const char* name = std::getenv("USER");
    u.name = name ? name : "";
    return u;
}

DeviceFacts probeDevice(const std::string& path, const std::string& root, int selfPid) {
    DeviceFacts d;
    d.path = path;
    if (selfPid < 0) selfPid = ::getpid();
    const fs::path at = under(root, path);
    std::error_code ec;
    const bool entry = fs::exists(fs::symlink_status(at, ec));
    const fs::path real = fs::canonical(at, ec);
    if (!entry) return d;
    if (ec) {
        d.danglingLink = true;
        return d;
    }
    d.exists = true;
    d.node = machinePath(root, real);
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) return d;
    d.charDevice = S_ISCHR(st.st_mode);
    d.mode = st.st_mode & 07777;
    d.owner = st.st_uid;
    d.group = st.st_gid;
    readGroup(root, st.st_gid, d);
    // The device number tells what the node is, whatever it is called: a node
    // named ttyUSB0 may be another device, and a serial line may have any name.
    std::string name = fs::path(d.node).filename().string();
    if (d.charDevice) {
        const std::string tty = ttyNamed(st.st_rdev, root);
        d.tty = !tty.empty() || pseudoTerminal(st.st_rdev, root);
        if (!tty.empty()) name = tty;
    }
    d.info = describeSerialPort(name == fs::path(d.node).filename() ? d.node : "/dev/" + name, root);
    if (d.info.byIdPath.empty() && path.rfind("/dev/serial/by-id/", 0) == 0) d.info.byIdPath = path;
    d.modemManagerIgnores = markedForModemManager(root, name);
    findHolders(root, d.node, selfPid, d);
    return d;
}

MachineFacts probeMachine(const std::string& root) {
    MachineFacts m;
    forEachProcess(root, [&](int pid, const fs::path& dir) {
        const std::string comm = readLine(dir / "comm");
        if (comm == "ModemManager") m.modemManager.push_back({pid, comm});
        if (comm == "brltty") m.brltty.push_back({pid, comm});
    });
    return m;
}

std::vector<DoctorLine> diagnoseDevice(const DeviceFacts& d, const MachineFacts& m, const UserFacts& u) {
    std::vector<DoctorLine> out;
    const std::string& p = d.path;
    if (d.danglingLink) {
        out.push_back({Verdict::Fail, "device", p + " points at a device that is not there",
                       "plug the adapter in again; 'halvek-cli ports' lists what is there"});
        return out;
    }
    if (!d.exists) {
        out.push_back({Verdict::Fail, "device", p + " does not exist",
                       "plug the adapter in, or choose another port; 'halvek-cli ports' lists what is there"});
        return out;
    }
    const std::string node = d.node == p ? p : p + " (" + d.node + ")";
    if (!d.charDevice) {
        out.push_back({Verdict::Fail, "device", node + " is not a device but a plain file or folder",
                       "choose the adapter's node, e.g. /dev/ttyUSB0; 'halvek-cli ports' lists them"});
        return out;
    }
    if (!d.tty) {
        out.push_back({Verdict::Fail, "device", node + " is a device but not a serial line",
                       "choose the adapter's node, e.g. /dev/ttyUSB0; 'halvek-cli ports' lists them"});
        return out;
    }
    out.push_back({Verdict::Ok, "device", node + " is a serial line" + describe(d.info), ""});

    const std::string rights = " (" + permissionText(d.mode) + ", group " + d.groupName + ")";
    if (mayOpen(d, u)) {
        out.push_back({Verdict::Ok, "permission", "you may open " + d.node + rights, ""});
    } else if ((d.mode & 0060) != 0060) {
        out.push_back(
            {Verdict::Fail, "permission", "only its owner may open " + d.node + rights,
             std::string("give it to a group with a udev rule (MODE=\"0660\", GROUP=\"dialout\"), see ") + kRuleHint});
    } else {
        const bool listed =
            !u.name.empty() && std::find(d.groupMembers.begin(), d.groupMembers.end(), u.name) != d.groupMembers.end();
        if (listed)
            out.push_back({Verdict::Fail, "permission",
                           "you may not open " + d.node + rights + ": you joined " + d.groupName +
                               " but this session started before",
                           "log out and in again (or run 'newgrp " + d.groupName + "')"});
        else
            out.push_back({Verdict::Fail, "permission",
                           "you may not open " + d.node + rights + ": you are not in the group " + d.groupName,
                           "sudo usermod -aG " + d.groupName + " $USER, then log out and in again"});
    }

    if (!d.holders.empty()) {
        out.push_back({Verdict::Fail, "in use", d.node + " is held open by " + holderList(d.holders),
                       "close that program first (or: kill" + pidList(d.holders) + ")"});
    } else if (d.uncheckedProcesses > 0) {
        // A holder may hide among them: say so rather than call the port free.
        out.push_back({Verdict::Warn, "in use",
                       "cannot tell whether another program holds " + d.node + " open: " +
                           std::to_string(d.uncheckedProcesses) + " processes of other users could not be looked into",
                       "run the doctor as root (sudo halvek-cli doctor --port " + p + ") to look into them"});
    } else {
        const std::string served =
            d.servers.empty() ? "" : "; " + holderList(d.servers) + " serves it from the other end";
        out.push_back({Verdict::Ok, "in use", "no other program holds " + d.node + " open" + served, ""});
    }

    if (m.modemManager.empty())
        out.push_back({Verdict::Ok, "modemmanager", "ModemManager is not running", ""});
    else if (d.modemManagerIgnores)
        out.push_back({Verdict::Ok, "modemmanager", "ModemManager is running but leaves " + d.node + " alone", ""});
    else if (d.info.isUsb())
        out.push_back({Verdict::Warn, "modemmanager",
                       "ModemManager is running and may probe " + d.node + " when it is plugged in",
                       std::string("sudo systemctl disable --now ModemManager, or mark the adapter "
                                   "ENV{ID_MM_DEVICE_IGNORE}=\"1\" as in ") +
                           kRuleHint});
    else
        out.push_back({Verdict::Ok, "modemmanager", "ModemManager is running; it leaves built-in ports alone", ""});

    if (d.info.latencyTimerMs > 1)
        out.push_back({Verdict::Warn, "latency",
                       "the FTDI latency timer of " + d.node + " is " + std::to_string(d.info.latencyTimerMs) +
                           " ms: replies arrive up to that much late",
                       "Halvek asks the driver for low latency when it opens the port; to set 1 ms for every "
                       "program: echo 1 | sudo tee /sys/bus/usb-serial/devices/" +
                           d.info.name + "/latency_timer, or " + kRuleHint});
    else if (d.info.latencyTimerMs >= 0)
        out.push_back({Verdict::Ok, "latency",
                       "the FTDI latency timer of " + d.node + " is " + std::to_string(d.info.latencyTimerMs) + " ms",
                       ""});
    else
        out.push_back({Verdict::Ok, "latency", d.node + " has no latency timer to set", ""});
    return out;
}

std::string permissionAdvice(const std::string& path, const std::string& root) {
    const DeviceFacts d = probeDevice(path, root);
    for (const DoctorLine& l : diagnoseDevice(d, {}, currentUser()))
        if (l.check == "permission" && l.verdict == Verdict::Fail) return l.finding + "; fix: " + l.fix;
    return {};
}

std::vector<DoctorLine> diagnoseMachine(const MachineFacts& m) {
    std::vector<DoctorLine> out;
    if (m.brltty.empty())
        out.push_back({Verdict::Ok, "brltty", "brltty is not running", ""});
    else
        out.push_back({Verdict::Warn, "brltty",
                       "brltty is running (pid" + pidList(m.brltty) +
                           ") and takes CH340 and some other USB-serial adapters for braille displays",
                       "if no braille display is used: sudo apt remove brltty"});
    return out;
}

std::vector<DoctorLine> runDoctor(const std::vector<std::string>& paths, const std::string& root) {
    const MachineFacts machine = probeMachine(root);
    const UserFacts user = currentUser();
    std::vector<std::string> ports = paths;
    std::vector<DoctorLine> out;
    if (ports.empty()) {
        for (const SerialDeviceInfo& d : discoverSerialPorts(root)) ports.push_back(d.displayName());
        if (ports.empty())
            out.push_back({Verdict::Warn, "device", "no serial device found",
                           "plug the adapter in; 'sudo dmesg | tail' tells whether the kernel saw it"});
    }
    for (const std::string& p : ports) {
        const auto lines = diagnoseDevice(probeDevice(p, root), machine, user);
        out.insert(out.end(), lines.begin(), lines.end());
    }
    const auto lines = diagnoseMachine(machine);
    out.insert(out.end(), lines.begin(), lines.end());
    return out;
}

const char* verdictName(Verdict v) {
    switch (v) {
        case Verdict::Ok:
            return "ok";
        case Verdict::Warn:
            return "warn";
        case Verdict::Fail:
            return "fail";
    }
    return "?";
}

std::string formatDoctorReport(const std::vector<DoctorLine>& lines) {
    std::string out;
    for (const DoctorLine& l : lines) {
        char head[40];
        std::snprintf(head, sizeof head, "%-5s %-13s ", verdictName(l.verdict), l.check.c_str());
        out += head + l.finding;
        if (!l.fix.empty()) out += "; fix: " + l.fix;
        out += "\n";
    }
    return out;
}

bool anyFailure(const std::vector<DoctorLine>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const DoctorLine& l) { return l.verdict == Verdict::Fail; });
}

}  // namespace halvek
