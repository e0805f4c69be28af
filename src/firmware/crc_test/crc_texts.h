#pragma once

namespace halvek::crctext {

constexpr const char* kSeedLabel = "seed value (hex) :";
constexpr const char* kGroup = "Perform CRC Test on:";
constexpr const char* kProgramBox = "Program";
constexpr const char* kFileBox = "*.L8F File";
constexpr const char* kRun = "Run CRC";
constexpr const char* kZero = "0000";
constexpr const char* kNoFile = "no file selected";
constexpr const char* kInProgress = "TEST IN PROGRESS...";
constexpr const char* kBlinkOn = "TEST IN PROGRESS";
constexpr const char* kBlinkOff = " ";
constexpr const char* kIdentical = "Test Results: IDENTICAL ";
constexpr const char* kDifferent = "Test Results: DIFFERENT ";
constexpr const char* kProgramDone = "program CRC done";
constexpr const char* kFileDone = "file CRC done.";
constexpr const char* kInvalidSeed = "Invalid SEED value";
constexpr const char* kFileUnreadable = "The firmware file cannot be read: ";
constexpr const char* kFileFilter = "QRVprogram_file (*.L8F *.l8f)";
constexpr const char* kFileDefault = "*.L8F";

}  // namespace halvek::crctext
