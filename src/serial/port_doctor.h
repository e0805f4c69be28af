#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace halvek {

// Checks the usual reasons a serial port will not open or runs slowly on Linux.
// The facts are gathered from a root folder ("/" for the machine, a fake tree in
// tests) and judged by pure functions, so every situation can be tested.

enum class Verdict { Ok, Warn, Fail };

struct DoctorLine {
    Verdict verdict = Verdict::Ok;
    std::string check;    // "device", "permission", ...
    std::string finding;  // what was seen, naming the device
    std::string fix;      // what to do about it; empty when nothing is to be done
};

// The user the program runs as.
struct UserFacts {
    uid_t uid = 0;
    std::vector<gid_t> groups;  // of this session, the primary group included
    std::string name;
};
UserFacts currentUser();

struct Holder {
    int pid = 0;
    std::string command;
};

struct DeviceFacts {
    std::string path;  // as asked
    std::string node;  // the node it leads to ("/dev/ttyUSB0")
    bool exists = false;
    bool danglingLink = false;  // a by-id link whose device is gone
    bool charDevice = false;
    bool tty = false;  // the kernel knows it as a terminal
    unsigned mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    std::string groupName;
    std::vector<std::string> groupMembers;  // the group's members as the group file lists them
    std::vector<Holder> holders;            // other processes that hold it open
    std::vector<Holder> servers;            // those serving a pseudo-terminal's other end (a simulator)
    int uncheckedProcesses = 0;             // processes whose open files could not be read
    bool modemManagerIgnores = false;       // udev marked it ID_MM_DEVICE_IGNORE
    SerialDeviceInfo info;
};

struct MachineFacts {
    std::vector<Holder> modemManager;
    std::vector<Holder> brltty;
};

DeviceFacts probeDevice(const std::string& path, const std::string& root = "/", int selfPid = -1);
MachineFacts probeMachine(const std::string& root = "/");

std::vector<DoctorLine> diagnoseDevice(const DeviceFacts& device, const MachineFacts& machine, const UserFacts& user);
std::vector<DoctorLine> diagnoseMachine(const MachineFacts& machine);
// Why the user may not open the device, and the fix that fits its owner, group
// and mode ("you are not in the group uucp (rw-rw----, group uucp); fix: sudo
// usermod -aG uucp $USER, ..."); empty when the doctor sees no such reason.
std::string permissionAdvice(const std::string& path, const std::string& root = "/");

// The whole report for the given ports; with none given, for every serial device
// found (a warning when there is none).
std::vector<DoctorLine> runDoctor(const std::vector<std::string>& paths, const std::string& root = "/");

const char* verdictName(Verdict v);
// One line per check: "ok   device      /dev/ttyUSB0 ...", a fix after "; fix: ".
std::string formatDoctorReport(const std::vector<DoctorLine>& lines);
bool anyFailure(const std::vector<DoctorLine>& lines);

}  // namespace halvek
