#pragma once

#include <cstddef>
#include <string>

namespace halvek {

// The parts a diagnostics report can hold, in the order they are written.
enum class ReportPart { Statistics, Sensors, MainOptics, Video };
constexpr size_t kReportParts = 4;

// What the user chose for one report.
struct ReportOptions {
    static constexpr size_t kSerialNumberLength = 12;

    bool statistics = true;
    bool mainOptics = true;
    bool sensors = true;
    bool video = false;  // needs a white-paper video test first
    std::string serialNumber;

    bool includes(ReportPart part) const;
    void set(ReportPart part, bool on);
    bool any() const { return statistics || mainOptics || sensors || video; }
};

// The serial number as the report takes it: its first twelve characters.
std::string limitSerialNumber(const std::string& typed);

// The caption of a part's check box, which also names the part in messages.
const char* reportPartName(ReportPart part);

}  // namespace halvek
