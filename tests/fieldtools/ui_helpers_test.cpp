#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fake_machine.h"
#include "support/fresh_dir.h"
#include "ui/main/doctor_dialog.h"
#include "ui/main/main_window.h"
#include "ui/main/port_choice_box.h"

namespace halvek {
namespace {

TEST(PortChoiceBox, ComEntriesKeepTheirPlacesAndDetectedDevicesFollow) {
    test::FakeMachine m;
    m.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
              "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", 16, 1});
    PortMap map;
    for (int n = 1; n <= 6; ++n) map.set(n, "/dev/ttyS" + std::to_string(n - 1));
    QComboBox box;
    int changes = 0;
    QObject::connect(&box, &QComboBox::currentIndexChanged, [&] { ++changes; });
    ui::fillPortChoices(&box, portChoices(map, discoverSerialPorts(m.root()), 6), 3);
    EXPECT_EQ(changes, 0) << "filling is no choice of the user's";
    ASSERT_EQ(box.count(), 7);
    EXPECT_EQ(box.currentIndex(), 2);
    EXPECT_EQ(box.itemText(2), "COM 3  ttyS2");
    EXPECT_EQ(box.itemText(6), "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_TRUE(box.itemData(6, Qt::ToolTipRole).toString().contains("serial A50285BI"));
    const ui::ChosenPort device = ui::chosenPort(&box, 6);
    EXPECT_EQ(device.comNumber, 0);
    EXPECT_EQ(device.path, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(ui::chosenPort(&box, 0).comNumber, 1);
    EXPECT_EQ(ui::chosenPort(&box, 0).path, "/dev/ttyS0");
    EXPECT_EQ(ui::chosenPort(&box, 9).comNumber, 0);
}

TEST(DoctorDialog, ShowsTheReportAndChecksAgain) {
    test::FakeMachine m;
    ui::DoctorDialog dialog(nullptr, {"/dev/ttyUSB0"}, m.root());
    EXPECT_TRUE(dialog.reportText().startsWith("fail  device        /dev/ttyUSB0 does not exist; fix: "))
        << dialog.reportText().toStdString();
    m.addProcess(99, "brltty");
    dialog.checkAgain();
    EXPECT_TRUE(dialog.reportText().contains("warn  brltty        brltty is running (pid 99)"))
        << dialog.reportText().toStdString();
}

// A device given with --com N=PATH for the COM entry in use is there on the next
// start without it; one given for another entry leaves the kept one alone.
TEST(MainWindow, KeepsTheDeviceGivenForTheComEntryInUse) {
    const std::string settings = halvek::test::freshDir("halvek-settings-") + "/halvek.ini";
    std::ofstream(settings, std::ios::binary) << "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/ttyUSB7\r\n";
    ui::WindowOptions plain;
    plain.settingsPath = settings;
    ui::WindowOptions o = plain;
    o.comPaths = {{4, "/dev/ttyACM0"}};
    { ui::MainWindow w(o); }
    {
        ui::MainWindow w(plain);
        EXPECT_EQ(w.controller().portPath(), "/dev/ttyUSB7");
    }
    o.comPaths = {{2, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}};
    { ui::MainWindow w(o); }
    ui::MainWindow w(plain);
    EXPECT_EQ(w.controller().portPath(), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    std::ostringstream kept;
    kept << std::ifstream(settings, std::ios::binary).rdbuf();
    EXPECT_EQ(kept.str(),
              "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\r\n");
    std::filesystem::remove(settings);
}

}  // namespace
}  // namespace halvek
