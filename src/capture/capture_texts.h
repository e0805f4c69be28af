#pragma once

#include <array>
#include <cinttypes>
#include <cstdint>
#include <string>

#include "link/user_interface.h"

namespace halvek::capture {

// The capture file's line formats. A command leaves its line open so that its
// reply follows on the same line. The time is 64-bit milliseconds: a capture
// left running for weeks passes 32 bits.
constexpr const char* kCommandPrefix = "T( %08" PRId64 " ms)CMD[ ";
constexpr const char* kCommandSuffix = "]  :  ";
constexpr const char* kReplyPrefix = "T( %08" PRId64 " ms)MSG[ ";
constexpr const char* kReplySuffix = "]\r\n";

constexpr const char* kDefaultFileName = "q7_data_file.TXT";
constexpr const char* kDefaultExtension = "TXT";
constexpr const char* kFileFilter = "Log Files (*.TXT *.txt);;All Files (*)";

// The option window.
constexpr const char* kOptionCaption = "Save Protocol Data ( option )";
constexpr std::array<const char*, 5> kOptionLines = {
    "This option allows user to capture all data exchanged between",
    "host application controller and bill acceptor. To avoid data overflow",
    "the size of the file capturing data have adjustable limit.",
    "When the file size approches the limit, the file will close.",
    "NOTE: DO NOT VIEW DATA FILE WHILE FILE IS WRITTEN TO. ",
};
constexpr const char* kLimitGroup = "Set the file size limit.";
constexpr const char* kOpenFile = "Open File";
constexpr const char* kCloseFile = "Close File";
constexpr const char* kCancel = "Cancel";

// The limits step by 51,200,000 bytes; the labels say so in megabytes of a
// million bytes.
constexpr uint64_t kLimitStep = 51'200'000;
constexpr std::array<const char*, 5> kLimitLabels = {"51.2 MB", "102.4 MB", "153.6 MB", "204.8 MB", "256 MB"};
constexpr uint64_t limitForIndex(int index) { return static_cast<uint64_t>(index + 1) * kLimitStep; }

// The View data page's capture switch.
constexpr const char* kSaveDataOn = "Save_Data ON";
constexpr const char* kSaveDataOff = "Save_Data OFF";

Message openFailedMessage(const std::string& path, const std::string& reason);
Message writeFailedMessage(const std::string& path, const std::string& reason);

}  // namespace halvek::capture
