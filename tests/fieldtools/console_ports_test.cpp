// The console tool's port handling: COM entries mapped as the window maps them,
// and what adapters say of themselves printed safely.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/doctor.h"
#include "cli/ports.h"
#include "cli/read.h"
#include "fake_machine.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

// Runs a test in a folder of its own, where the console tool looks for halvek.ini.
class InFolder {
  public:
    InFolder() : before_(fs::current_path()) {
        std::string pattern = fs::temp_directory_path() / "halvek-cwd-XXXXXX";
        dir_ = ::mkdtemp(pattern.data());
        fs::current_path(dir_);
    }
    ~InFolder() {
        fs::current_path(before_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void keep(const std::string& settings) { std::ofstream("halvek.ini", std::ios::binary) << settings; }

  private:
    fs::path before_;
    std::string dir_;
};

// The device a doctor run for COM n names: its first line says what it found there.
std::string doctorDevice(int com, const std::string& root) {
    std::ostringstream out, err;
    cli::runDoctor({"--com", std::to_string(com), "--root", root}, out, err);
    const std::string first = out.str().substr(0, out.str().find('\n'));
    const size_t at = first.find('/');
    return at == std::string::npos ? first : first.substr(at, first.find(' ', at) - at);
}

TEST(ConsolePorts, AComEntryLeadsWhereTheWindowKeptIt) {
    test::FakeMachine machine;
    struct Row {
        const char* what;
        const char* settings;  // halvek.ini, or null for none
        int com;
        const char* environment;  // HALVEK_COM<com>, or null
        const char* device;
    };
    const Row rows[] = {
        {"the kept device", "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/halvek-kept\r\n", 2, nullptr, "/dev/halvek-kept"},
        {"the environment of this run before the kept device", "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/halvek-kept\r\n",
         2, "/dev/halvek-env", "/dev/halvek-env"},
        {"another entry: the environment", "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/halvek-kept\r\n", 3,
         "/dev/halvek-env", "/dev/halvek-env"},
        {"another entry: the default", "Val_Port_Num:1\r\nVal_Port_Path:2=/dev/halvek-kept\r\n", 4, nullptr,
         "/dev/ttyS3"},
        {"only the index kept", "Val_Port_Num:1\r\n", 2, nullptr, "/dev/ttyS1"},
        {"no settings file", nullptr, 1, nullptr, "/dev/ttyS0"},
    };
    for (const Row& r : rows) {
        InFolder folder;
        if (r.settings) folder.keep(r.settings);
        const std::string variable = "HALVEK_COM" + std::to_string(r.com);
        if (r.environment) ::setenv(variable.c_str(), r.environment, 1);
        EXPECT_EQ(doctorDevice(r.com, machine.root()), r.device) << r.what;
        ::unsetenv(variable.c_str());
        if (!r.settings) {
            EXPECT_FALSE(fs::exists("halvek.ini")) << "the console tool only reads the settings";
        }
    }
}

TEST(ConsolePorts, AConnectingCommandOpensTheKeptDevice) {
    sim::SimServer simulator;
    ASSERT_TRUE(simulator.start());
    InFolder folder;
    folder.keep("Val_Port_Num:0\r\nVal_Port_Path:2=" + simulator.devicePath() + "\r\n");
    std::ostringstream out, err;
    EXPECT_EQ(cli::runRead({"setup", "--com", "2", "--interval", "100"}, out, err), 0) << err.str();
    EXPECT_FALSE(out.str().empty());
}

// A name in UTF-8 stays itself in the JSON list; only bytes that are not UTF-8 are escaped.
TEST(ConsolePorts, AnAdapterNamedInUtf8KeepsItsNameInJson) {
    test::FakeMachine m;
    m.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "Maker \xc3\xa9\xff", "Caf\xc3\xa9", "S1", "usb-Maker-if00-port0",
              1, 1});
    std::ostringstream json, err;
    ASSERT_EQ(cli::runPorts({"--json", "--root", m.root()}, json, err), 0);
    EXPECT_NE(json.str().find("\"product\": \"Caf\xc3\xa9\""), std::string::npos) << json.str();
    EXPECT_NE(json.str().find("\"manufacturer\": \"Maker \xc3\xa9\\u00ff\""), std::string::npos) << json.str();
}

// An adapter whose USB strings hold a terminal's control sequence and a byte
// that is not ASCII; udev's by-id name carries them along.
TEST(ConsolePorts, WhatAnAdapterSaysOfItselfIsPrintedEscaped) {
    test::FakeMachine m;
    m.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "Evil\x1b]0;owned\x07", "Caf\xe9", "S\x1b[2J",
              "usb-Evil\x1b[2J-if00-port0", 1, 1});
    auto plain = [](const std::string& text) {
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c < 0x20 && c != '\n') || c >= 0x7F) return false;
        }
        return true;
    };
    std::ostringstream listed, json, doctor, err;
    ASSERT_EQ(cli::runPorts({"--root", m.root()}, listed, err), 0);
    EXPECT_TRUE(plain(listed.str())) << listed.str();
    EXPECT_NE(listed.str().find("Evil\\x1B]0;owned\\x07 Caf\\xE9 (serial S\\x1B[2J)"), std::string::npos)
        << listed.str();
    EXPECT_NE(listed.str().find("/dev/serial/by-id/usb-Evil\\x1B[2J-if00-port0"), std::string::npos);

    ASSERT_EQ(cli::runPorts({"--json", "--root", m.root()}, json, err), 0);
    EXPECT_TRUE(plain(json.str())) << json.str();
    EXPECT_NE(json.str().find("\"manufacturer\": \"Evil\\u001b]0;owned\\u0007\""), std::string::npos) << json.str();
    EXPECT_NE(json.str().find("\"product\": \"Caf\\u00e9\""), std::string::npos) << json.str();

    // Without a port the doctor checks every device found, named by its by-id name.
    cli::runDoctor({"--root", m.root()}, doctor, err);
    EXPECT_TRUE(plain(doctor.str())) << doctor.str();
    EXPECT_NE(doctor.str().find("usb-Evil\\x1B[2J-if00-port0"), std::string::npos) << doctor.str();
}

}  // namespace
}  // namespace halvek
