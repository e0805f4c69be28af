#include "serial/port_discovery.h"

#include <gtest/gtest.h>

#include "fake_machine.h"
#include "serial/port_choices.h"

namespace halvek {
namespace {

using test::FakeMachine;

const FakeMachine::Usb kFtdi{"ttyUSB0",  "ftdi_sio",
                             "0403",     "6001",
                             "FTDI",     "FT232R USB UART",
                             "A50285BI", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                             16,         1};
const FakeMachine::Usb kCh340{
    "ttyUSB1", "ch341-uart", "1a86", "7523", "", "USB Serial", "", "usb-1a86_USB_Serial-if00-port0", -1, 2};
const FakeMachine::Usb kAcm{
    "ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "8503631333", "usb-Arduino_Uno_8503631333-if00", -1, 3};

TEST(PortDiscovery, ReadsEachKindOfAdapterAndLeavesOutWhatIsNoPort) {
    FakeMachine m;
    m.addUsb(kFtdi);
    m.addUsb(kCh340);
    m.addUsb(kAcm);
    m.addBuiltin("ttyS0", 4);
    m.addBuiltin("ttyS1", 0);  // no UART at that address
    m.addVirtual("tty1");

    struct Row {
        const char* path;
        const char* byId;
        const char* driver;
        const char* vendor;
        const char* product;
        const char* serial;
        int latency;
    };
    const Row expected[] = {
        {"/dev/ttyACM0", "/dev/serial/by-id/usb-Arduino_Uno_8503631333-if00", "cdc_acm", "2341", "0043", "8503631333",
         -1},
        {"/dev/ttyS0", "", "serial8250", "", "", "", -1},
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ftdi_sio", "0403", "6001",
         "A50285BI", 16},
        {"/dev/ttyUSB1", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "ch341-uart", "1a86", "7523", "", -1},
    };
    const auto found = discoverSerialPorts(m.root());
    ASSERT_EQ(found.size(), std::size(expected));
    for (size_t i = 0; i < found.size(); ++i) {
        const SerialDeviceInfo& d = found[i];
        const Row& r = expected[i];
        EXPECT_EQ(d.path, r.path);
        EXPECT_EQ(d.byIdPath, r.byId) << r.path;
        EXPECT_EQ(d.driver, r.driver) << r.path;
        EXPECT_EQ(d.vendorId, r.vendor) << r.path;
        EXPECT_EQ(d.productId, r.product) << r.path;
        EXPECT_EQ(d.serialNumber, r.serial) << r.path;
        EXPECT_EQ(d.latencyTimerMs, r.latency) << r.path;
        EXPECT_EQ(d.displayName(), *r.byId ? r.byId : r.path);
    }
    EXPECT_EQ(found[2].manufacturer, "FTDI");
    EXPECT_EQ(found[2].product, "FT232R USB UART");
    EXPECT_EQ(found[2].usbInterface, "00");
}

TEST(PortDiscovery, AnEmptyMachineAndTheListings) {
    FakeMachine m;
    EXPECT_TRUE(discoverSerialPorts(m.root()).empty());
    EXPECT_EQ(formatPortList({}), "no serial devices found\n");
    EXPECT_EQ(formatPortListJson({}), "[]\n");

    m.addUsb(kFtdi);
    const auto found = discoverSerialPorts(m.root());
    EXPECT_EQ(formatPortList(found),
              "/dev/ttyUSB0  usb 0403:6001 FTDI FT232R USB UART (serial A50285BI)  driver ftdi_sio  latency 16 ms\n"
              "    /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n");
    SerialDeviceInfo odd;
    odd.path = "/dev/ttyUSB9";
    odd.product = "say \"hi\"\\\n";
    EXPECT_EQ(formatPortListJson({odd}),
              "[\n {\"path\": \"/dev/ttyUSB9\", \"byId\": \"\", \"driver\": \"\", \"vendorId\": \"\", "
              "\"productId\": \"\", \"manufacturer\": \"\", \"product\": \"say \\\"hi\\\"\\\\\\u000a\", "
              "\"serial\": \"\", \"interface\": \"\", \"latencyTimerMs\": null}\n]\n");
}

TEST(PortDiscovery, DescribesADeviceGivenByItsByIdName) {
    FakeMachine m;
    m.addUsb(kFtdi);
    const SerialDeviceInfo d = describeSerialPort("/dev/serial/by-id/" + kFtdi.byId, m.root());
    EXPECT_EQ(d.path, "/dev/ttyUSB0");
    EXPECT_EQ(d.serialNumber, "A50285BI");
    EXPECT_EQ(describeSerialPort("/dev/ttyUSB7", m.root()).path, "/dev/ttyUSB7");
    EXPECT_EQ(describeSerialPort("/dev/ttyUSB7", m.root()).driver, "");
}

// The unit comes back under another node name after a replug; another adapter
// may have taken the old name meanwhile.
TEST(PortDiscovery, ResolvesAReplugggedUnit) {
    struct Case {
        const char* what;
        bool choseById;
        FakeMachine::Usb unit;
        bool otherTakesOldName;
        bool comesBack;
        const char* expected;
    };
    FakeMachine::Usb noSerial = kCh340;
    noSerial.tty = "ttyUSB0";
    const Case cases[] = {
        {"chosen by node, back as ttyUSB1", false, kFtdi, false, true, "/dev/ttyUSB1"},
        {"chosen by id, back as ttyUSB1", true, kFtdi, false, true, "BYID"},
        {"chosen by node, another adapter on ttyUSB0", false, kFtdi, true, true, "/dev/ttyUSB1"},
        {"chosen by node, unplugged, another on ttyUSB0", false, kFtdi, true, false, ""},
        {"no serial number, by-id link back", false, noSerial, false, true, "/dev/ttyUSB1"},
        {"no serial number, gone", false, noSerial, false, false, ""},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        m.addUsb(c.unit);
        const std::string byId = "/dev/serial/by-id/" + c.unit.byId;
        const PortIdentity unit = identifyPort(c.choseById ? byId : "/dev/ttyUSB0", m.root());
        EXPECT_EQ(resolvePort(unit, m.root()), c.choseById ? byId : "/dev/ttyUSB0") << c.what << " (before)";
        m.unplug("ttyUSB0");
        if (c.otherTakesOldName) m.addUsb({"ttyUSB0", "pl2303", "067b", "2303", "Prolific", "PL2303", "", "", -1, 5});
        if (c.comesBack) {
            FakeMachine::Usb back = c.unit;
            back.tty = "ttyUSB1";
            m.addUsb(back);
        }
        const std::string want = std::string(c.expected) == "BYID" ? byId : c.expected;
        EXPECT_EQ(resolvePort(unit, m.root()), want) << c.what;
    }
}

TEST(PortDiscovery, ABuiltInPortIsFoundWhereItWas) {
    FakeMachine m;
    m.addBuiltin("ttyS0", 4);
    const PortIdentity unit = identifyPort("/dev/ttyS0", m.root());
    EXPECT_TRUE(unit.serialNumber.empty());
    EXPECT_EQ(resolvePort(unit, m.root()), "/dev/ttyS0");
    EXPECT_EQ(resolvePort(identifyPort("/dev/ttyS3", m.root()), m.root()), "");
}

}  // namespace
}  // namespace halvek

namespace halvek {
namespace {

TEST(PortChoices, EachComEntryNamesItsDeviceAndTheRestAreOfferedByTheirByIdNames) {
    test::FakeMachine m;
    m.addUsb(kFtdi);
    m.addUsb(kCh340);
    m.addBuiltin("ttyS0", 4);
    const auto detected = discoverSerialPorts(m.root());
    PortMap map;
    map.set(2, "/dev/serial/by-id/" + kFtdi.byId);
    map.set(3, "/dev/ttyS0");
    map.set(4, "/dev/ttyS3");
    map.set(5, "/dev/ttyS4");
    map.set(6, "/dev/ttyS5");
    map.set(1, "/opt/odd/path");
    const auto choices = portChoices(map, detected, 6);
    std::vector<std::string> labels;
    for (const auto& c : choices) labels.push_back(c.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"COM 1  /opt/odd/path", "COM 2  " + kFtdi.byId, "COM 3  ttyS0",
                                                "COM 4  ttyS3", "COM 5  ttyS4", "COM 6  ttyS5", kCh340.byId}));
    EXPECT_EQ(choices[1].comNumber, 2);
    EXPECT_NE(choices[1].details.find("USB 0403:6001 FTDI FT232R USB UART, serial A50285BI"), std::string::npos);
    EXPECT_NE(choices[3].details.find("not found on this machine"), std::string::npos);
    EXPECT_EQ(choices[6].comNumber, 0);
    EXPECT_EQ(choices[6].path, "/dev/serial/by-id/" + kCh340.byId);
}

}  // namespace
}  // namespace halvek
