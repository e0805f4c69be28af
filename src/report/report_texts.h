#pragma once

namespace halvek::text {

// The diagnostics report's own texts, shown by the window and the console tool alike.
inline constexpr const char* kReportWindowTitle = "Diagnostics Log File";
inline constexpr const char* kReportComponents = "Log File Components";
inline constexpr const char* kReportVideoHint = "(run \"VideoTest\" page test)";
inline constexpr const char* kReportSerialLabel = "serial number";
inline constexpr const char* kSaveLogFileAs = "Save Log File As";
inline constexpr const char* kLogFileCreated = "Log File Created at %s ";
inline constexpr const char* kLogFileLocation = "Log File Location";

}  // namespace halvek::text
