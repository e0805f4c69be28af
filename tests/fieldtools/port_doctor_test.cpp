#include "serial/port_doctor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_machine.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using test::FakeMachine;

// A USB adapter as a user in dialout finds it after a fresh install.
DeviceFacts goodAdapter() {
    DeviceFacts d;
    d.path = d.node = "/dev/ttyUSB0";
    d.exists = d.charDevice = d.tty = true;
    d.mode = 0660;
    d.owner = 0;
    d.group = 20;
    d.groupName = "dialout";
    d.info.path = "/dev/ttyUSB0";
    d.info.name = "ttyUSB0";
    d.info.vendorId = "0403";
    d.info.latencyTimerMs = 1;
    return d;
}

const UserFacts kUser{1000, {1000, 20}, "tech"};
const UserFacts kOutsider{1001, {1001}, "newbie"};

struct Situation {
    const char* what;
    DeviceFacts device;
    MachineFacts machine;
    UserFacts user;
    const char* check;  // the line that tells
    Verdict verdict;
    const char* finding;  // a piece of its text
    const char* fix;      // a piece of its fix
};

std::vector<Situation> situations() {
    std::vector<Situation> s;
    auto add = [&](const char* what, auto change, const char* check, Verdict v, const char* finding, const char* fix,
                   UserFacts user = kUser, MachineFacts machine = {}) {
        DeviceFacts d = goodAdapter();
        change(d);
        s.push_back({what, d, machine, user, check, v, finding, fix});
    };
    auto same = [](DeviceFacts&) {};
    add("all well", same, "permission", Verdict::Ok, "you may open /dev/ttyUSB0 (rw-rw----, group dialout)", "");
    add(
        "missing device", [](DeviceFacts& d) { d = DeviceFacts{}, d.path = "/dev/ttyUSB0"; }, "device", Verdict::Fail,
        "/dev/ttyUSB0 does not exist", "halvek-cli ports");
    add(
        "by-id link left behind",
        [](DeviceFacts& d) { d = DeviceFacts{}, d.path = "/dev/serial/by-id/x", d.danglingLink = true; }, "device",
        Verdict::Fail, "points at a device that is not there", "plug the adapter in again");
    add(
        "plain file", [](DeviceFacts& d) { d.charDevice = d.tty = false; }, "device", Verdict::Fail, "is not a device",
        "/dev/ttyUSB0");
    add(
        "not a tty", [](DeviceFacts& d) { d.path = d.node = "/dev/null", d.tty = false; }, "device", Verdict::Fail,
        "/dev/null is a device but not a serial line", "halvek-cli ports");
    add("not in the group", same, "permission", Verdict::Fail, "you are not in the group dialout",
        "sudo usermod -aG dialout $USER", kOutsider);
    add(
        "joined but not logged in again",
        [](DeviceFacts& d) {
            d.groupMembers = {"root", "newbie"};
        },
        "permission", Verdict::Fail, "you joined dialout but this session started before", "newgrp dialout", kOutsider);
    add(
        "owner only", [](DeviceFacts& d) { d.mode = 0600; }, "permission", Verdict::Fail, "only its owner may open",
        "MODE=\"0660\"");
    add(
        "the superuser may", [](DeviceFacts& d) { d.mode = 0600; }, "permission", Verdict::Ok, "you may open", "",
        UserFacts{0, {0}, "root"});
    add(
        "held by another process",
        [](DeviceFacts& d) {
            d.holders = {{4242, "minicom"}};
        },
        "in use", Verdict::Fail, "/dev/ttyUSB0 is held open by minicom (pid 4242)", "kill 4242");
    add(
        "others not looked into", [](DeviceFacts& d) { d.uncheckedProcesses = 3; }, "in use", Verdict::Warn,
        "cannot tell whether another program holds /dev/ttyUSB0 open: 3 processes of other users",
        "sudo halvek-cli doctor");
    add(
        "a simulator serving the other end",
        [](DeviceFacts& d) {
            d.servers = {{5150, "halvek-sim"}};
        },
        "in use", Verdict::Ok, "no other program holds /dev/ttyUSB0 open; halvek-sim (pid 5150) serves it", "");
    add("ModemManager may probe", same, "modemmanager", Verdict::Warn, "may probe /dev/ttyUSB0", "ID_MM_DEVICE_IGNORE",
        kUser, MachineFacts{{{812, "ModemManager"}}, {}});
    add(
        "ModemManager told to keep off", [](DeviceFacts& d) { d.modemManagerIgnores = true; }, "modemmanager",
        Verdict::Ok, "leaves /dev/ttyUSB0 alone", "", kUser, MachineFacts{{{812, "ModemManager"}}, {}});
    add(
        "FTDI at 16 ms", [](DeviceFacts& d) { d.info.latencyTimerMs = 16; }, "latency", Verdict::Warn,
        "latency timer of /dev/ttyUSB0 is 16 ms", "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer");
    add("FTDI at 1 ms", same, "latency", Verdict::Ok, "is 1 ms", "");
    return s;
}

TEST(PortDoctor, JudgesEachSituation) {
    for (const Situation& s : situations()) {
        const auto lines = diagnoseDevice(s.device, s.machine, s.user);
        const DoctorLine* line = nullptr;
        for (const DoctorLine& l : lines)
            if (l.check == s.check) line = &l;
        ASSERT_NE(line, nullptr) << s.what;
        EXPECT_EQ(line->verdict, s.verdict) << s.what << ": " << line->finding;
        EXPECT_NE(line->finding.find(s.finding), std::string::npos) << s.what << ": " << line->finding;
        if (*s.fix)
            EXPECT_NE(line->fix.find(s.fix), std::string::npos) << s.what << ": " << line->fix;
        else
            EXPECT_EQ(line->fix, "") << s.what;
        // A device that is not usable stops the report there: the rest would only guess.
        if (s.check == std::string("device") && s.verdict == Verdict::Fail)
            EXPECT_EQ(lines.size(), 1u) << s.what;
        else
            EXPECT_EQ(lines.size(), 5u) << s.what;
    }
}

TEST(PortDoctor, GathersTheFactsFromTheMachine) {
    FakeMachine m;
    m.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
              "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", 16, 1});
    m.addGroup("root:x:0:");
    m.addGroup("dialout:x:20:tech,newbie");
    m.addProcess(1, "systemd");
    m.addProcess(812, "ModemManager", {"/dev/null", "socket:[123]"});
    m.addProcess(4242, "minicom", {"/dev/pts/1", "/dev/ttyUSB0"});
    m.addProcess(777, "halvek-cli", {"/dev/ttyUSB0"});  // the doctor itself
    m.addProcess(999, "brltty");
    m.write("/run/udev/data/c188:0", "E:ID_VENDOR=FTDI\nE:ID_MM_DEVICE_IGNORE=1\n");

    const DeviceFacts d = probeDevice("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", m.root(), 777);
    EXPECT_TRUE(d.exists);
    EXPECT_EQ(d.node, "/dev/ttyUSB0");
    EXPECT_FALSE(d.charDevice) << "a plain file stands for the node here";
    EXPECT_FALSE(d.tty) << "a plain file has no device number";
    ASSERT_EQ(d.holders.size(), 1u);
    EXPECT_EQ(d.holders[0].pid, 4242);
    EXPECT_EQ(d.holders[0].command, "minicom");
    EXPECT_TRUE(d.modemManagerIgnores);
    EXPECT_EQ(d.info.latencyTimerMs, 16);
    EXPECT_EQ(d.info.serialNumber, "A50285BI");

    const MachineFacts machine = probeMachine(m.root());
    ASSERT_EQ(machine.modemManager.size(), 1u);
    EXPECT_EQ(machine.modemManager[0].pid, 812);
    ASSERT_EQ(machine.brltty.size(), 1u);
    const auto lines = diagnoseMachine(machine);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].verdict, Verdict::Warn);
    EXPECT_EQ(lines[0].finding.find("brltty is running (pid 999)"), 0u);

    const DeviceFacts gone = probeDevice("/dev/ttyUSB3", m.root(), 777);
    EXPECT_FALSE(gone.exists);
    m.unplug("ttyUSB0");
    const DeviceFacts dangling =
        probeDevice("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", m.root(), 777);
    EXPECT_FALSE(dangling.exists);
    EXPECT_FALSE(dangling.danglingLink) << "udev removes the link with the device";
}

// What a node is comes from its device number, not its name.
TEST(PortDoctor, TellsASerialLineByItsDeviceNumber) {
    FakeMachine m;
    m.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
              "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", 16, 1});
    m.addUsb({"ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "8503631333", "", -1, 2});
    m.addBuiltin("ttyS0", 4);
    m.addVirtual("tty1");
    m.write("/run/udev/data/c188:0", "E:ID_MM_DEVICE_IGNORE=1\n");
    struct Row {
        const char* what;
        const char* node;
        unsigned major, minor;
        bool tty;
        const char* describedAs;  // the serial device it is taken for
    };
    const Row rows[] = {
        {"an adapter's node", "/dev/ttyUSB0", 188, 0, true, "/dev/ttyUSB0"},
        {"the adapter under a name of its own", "/dev/validator", 188, 0, true, "/dev/ttyUSB0"},
        {"a modem-class adapter", "/dev/ttyACM0", 166, 0, true, "/dev/ttyACM0"},
        {"a built-in port", "/dev/ttyS0", 4, 64, true, "/dev/ttyS0"},
        {"named like a terminal the kernel has, but the null device", "/dev/tty1", 1, 3, false, ""},
        {"a disk", "/dev/sda", 8, 0, false, ""},
    };
    for (const Row& r : rows) {
        if (!m.addNode(r.node, r.major, r.minor)) GTEST_SKIP() << "making device nodes needs the privilege";
        const DeviceFacts d = probeDevice(r.node, m.root());
        EXPECT_TRUE(d.charDevice) << r.what;
        EXPECT_EQ(d.tty, r.tty) << r.what;
        if (r.tty) {
            EXPECT_EQ(d.info.path, r.describedAs) << r.what;
        } else {
            EXPECT_FALSE(d.info.isUsb()) << r.what;
        }
    }
    // The adapter's own facts follow it under its other name.
    const DeviceFacts renamed = probeDevice("/dev/validator", m.root());
    EXPECT_EQ(renamed.info.serialNumber, "A50285BI");
    EXPECT_EQ(renamed.info.latencyTimerMs, 16);
    EXPECT_TRUE(renamed.modemManagerIgnores);
}

// A process that serves a pseudo-terminal's master and holds its slave too (as
// the simulator does) is found serving it, not holding it against the host.
TEST(PortDoctor, APseudoTerminalsServerIsNotAProgramInTheWay) {
    test::PtyPair pty;
    const DeviceFacts d = probeDevice(pty.slavePath(), "/", 1);  // this process is not the one asking
    EXPECT_TRUE(d.holders.empty()) << d.holders.size();
    ASSERT_EQ(d.servers.size(), 1u);
    EXPECT_EQ(d.servers[0].pid, ::getpid());
    const auto lines = diagnoseDevice(d, {}, currentUser());
    EXPECT_FALSE(anyFailure(lines)) << formatDoctorReport(lines);
}

TEST(PortDoctor, AFreePseudoTerminalPassesAndTheReportReadsOneLineACheck) {
    test::PtyPair pty;
    const DeviceFacts d = probeDevice(pty.slavePath());
    EXPECT_TRUE(d.charDevice);
    EXPECT_TRUE(d.tty);
    const DeviceFacts null = probeDevice("/dev/null");
    EXPECT_TRUE(null.charDevice);
    EXPECT_FALSE(null.tty);
    const auto lines = diagnoseDevice(d, {}, currentUser());
    EXPECT_FALSE(anyFailure(lines)) << formatDoctorReport(lines);
    const std::vector<DoctorLine> report = {
        {Verdict::Ok, "device", "/dev/ttyUSB0 is a serial line", ""},
        {Verdict::Fail, "in use", "/dev/ttyUSB0 is held open by minicom (pid 4242)", "kill 4242"},
    };
    EXPECT_EQ(formatDoctorReport(report),
              "ok    device        /dev/ttyUSB0 is a serial line\n"
              "fail  in use        /dev/ttyUSB0 is held open by minicom (pid 4242); fix: kill 4242\n");
    EXPECT_TRUE(anyFailure(report));
}

}  // namespace
}  // namespace halvek
