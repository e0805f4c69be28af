#pragma once

#include <string>

namespace halvek {

// How writing a report file went; on failure, which file and why.
struct ReportFileResult {
    bool written = false;
    std::string error;
};

// Puts the bytes into path. They go to a file beside it first, which takes the
// chosen name only once it is complete: a failed write leaves no half report
// under that name, and an earlier report there stays as it was. An existing
// report of that name is replaced.
ReportFileResult writeReportFile(const std::string& path, const std::string& bytes);

// The name offered for a new report: "L8V_" or "L8_", the serial number, ".TXT".
std::string proposedReportFileName(bool l8v, const std::string& serialNumber);

}  // namespace halvek
