#include "link/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace halvek {
namespace {

std::string path(const char* name) { return ::testing::TempDir() + "/" + name + std::to_string(getpid()) + ".ini"; }

std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SettingsFile, AMissingFileIsCreatedWithTheFirstPort) {
    const std::string p = path("new");
    ::unlink(p.c_str());
    SettingsFile f(p);
    EXPECT_EQ(f.loadPortIndex(), 0);
    EXPECT_EQ(read(p), std::string("Val_Port_Num:0\r\n"));
    EXPECT_EQ(read(p).size(), 16u);
    EXPECT_TRUE(f.lastError().empty());
}

TEST(SettingsFile, ReadsTheDigitAndFallsBackToTheFirstPort) {
    const std::pair<const char*, int> cases[] = {
        {"Val_Port_Num:3\r\n", 3}, {"Val_Port_Num:5", 5},     {"Val_Port", 0},
        {"Val_Port_Num:x\r\n", 0}, {"Val_Port_Num:7\r\n", 0},  // no COM 8 to select
    };
    const std::string p = path("read");
    for (const auto& [content, index] : cases) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(SettingsFile(p).loadPortIndex(), index) << content;
        EXPECT_EQ(read(p), content) << "loading never rewrites a file with content";
    }
}

TEST(SettingsFile, SavingOverwritesTheStartOnly) {
    const std::string p = path("save");
    std::ofstream(p, std::ios::binary | std::ios::trunc) << "Val_Port_Num:1\r\nkept";
    SettingsFile f(p);
    ASSERT_TRUE(f.savePortIndex(4));
    EXPECT_EQ(read(p), std::string("Val_Port_Num:4\r\nkept"));
    EXPECT_EQ(f.loadPortIndex(), 4);
}

// A halvek.ini that is a link to a shared file stays a link: the choice is
// written through to the file it points at.
TEST(SettingsFile, ALinkIsKeptAndWrittenThrough) {
    const std::string target = path("target"), link = path("link");
    ::unlink(link.c_str());
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "Val_Port_Num:1\r\n";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    SettingsFile f(link);
    ASSERT_TRUE(f.savePortChoice(2, "/dev/ttyUSB0")) << f.lastError();
    ASSERT_TRUE(f.savePortIndex(3)) << f.lastError();
    char pointsAt[4096] = {};
    ASSERT_GT(::readlink(link.c_str(), pointsAt, sizeof pointsAt - 1), 0) << "the link was replaced";
    EXPECT_EQ(std::string(pointsAt), target);
    EXPECT_EQ(read(target), "Val_Port_Num:3\r\nVal_Port_Path:3=/dev/ttyUSB0\r\n");
    ::unlink(link.c_str());
    ::unlink(target.c_str());
}

TEST(SettingsFile, AnUnusablePlaceGivesTheFirstPortAndSaysWhy) {
    SettingsFile f("/proc/halvek-cannot-be-here/halvek.ini");
    EXPECT_EQ(f.loadPortIndex(), 0);
    EXPECT_NE(f.lastError().find("cannot open /proc/halvek-cannot-be-here/halvek.ini"), std::string::npos);
    EXPECT_FALSE(f.savePortIndex(2));
}

}  // namespace
}  // namespace halvek

namespace halvek {
namespace {

TEST(SettingsFile, KeepsTheChosenDeviceOnASecondLine) {
    const std::string p = path("device");
    ::unlink(p.c_str());
    SettingsFile f(p);
    EXPECT_FALSE(f.loadPortDevice());
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ASSERT_TRUE(f.savePortChoice(2, byId));
    EXPECT_EQ(read(p), "Val_Port_Num:2\r\nVal_Port_Path:3=" + byId + "\r\n");
    EXPECT_EQ(SettingsFile(p).loadPortIndex(), 2) << "a reader of the first line only";
    const auto device = SettingsFile(p).loadPortDevice();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->comNumber, 3);
    EXPECT_EQ(device->path, byId);

    // Choosing the index alone, as older programs do, leaves the device line as it was.
    ASSERT_TRUE(f.savePortIndex(0));
    EXPECT_EQ(f.loadPortDevice()->path, byId);
    // Choosing a COM entry without a device drops the line; a shorter path leaves no tail.
    ASSERT_TRUE(f.savePortChoice(1, "/dev/ttyUSB0"));
    EXPECT_EQ(read(p), "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/ttyUSB0\r\n");
    ASSERT_TRUE(f.savePortChoice(1, ""));
    EXPECT_EQ(read(p), "Val_Port_Num:1\r\n");
    EXPECT_FALSE(f.loadPortDevice());
}

TEST(SettingsFile, RefusesPathsThatWouldBreakTheFileAndIgnoresBadLines) {
    const std::string p = path("baddevice");
    SettingsFile f(p);
    ASSERT_TRUE(f.savePortChoice(0, "/dev/ttyUSB0"));
    for (const char* bad : {"/dev/tty\r\nVal_Port_Num:5", "relative/tty", "/dev/x\n"}) {
        EXPECT_FALSE(f.savePortChoice(3, bad)) << bad;
        EXPECT_NE(f.lastError().find("not a device path"), std::string::npos);
    }
    EXPECT_EQ(read(p), "Val_Port_Num:0\r\nVal_Port_Path:1=/dev/ttyUSB0\r\n") << "a refused path changes nothing";
    for (const char* content :
         {"Val_Port_Num:0\r\nVal_Port_Path:/dev/ttyUSB0\r\n", "Val_Port_Num:0\r\nVal_Port_Path:0=/dev/ttyUSB0\r\n",
          "Val_Port_Num:0\r\nVal_Port_Path:1=dev\r\n", "Val_Port_Num:0\r\n"}) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        EXPECT_FALSE(SettingsFile(p).loadPortDevice()) << content;
    }
}

}  // namespace
}  // namespace halvek
