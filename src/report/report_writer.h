#pragma once

#include <string>

#include "link/stores.h"
#include "report/report_options.h"

namespace halvek {

// The local date and time stamped into a report's header.
struct ReportTime {
    int year = 0, month = 0, day = 0;  // month 1-12
    int hour = 0, minute = 0, second = 0;
    static ReportTime now();
};

// The diagnostics report as the bytes of its file: the chosen parts, formatted
// from the stores as they stand, every line ending in CR LF. Workshops compare
// these files by tool, so every text here is kept exactly as it has always been.
std::string writeReport(const Stores& stores, const ReportOptions& options, const ReportTime& when = ReportTime::now());

}  // namespace halvek
