#include "report/report_options.h"

namespace halvek {

bool ReportOptions::includes(ReportPart part) const {
    switch (part) {
        case ReportPart::Statistics:
            return statistics;
        case ReportPart::Sensors:
            return sensors;
        case ReportPart::MainOptics:
            return mainOptics;
        case ReportPart::Video:
            return video;
    }
    return false;
}

void ReportOptions::set(ReportPart part, bool on) {
    switch (part) {
        case ReportPart::Statistics:
            statistics = on;
            break;
        case ReportPart::Sensors:
            sensors = on;
            break;
        case ReportPart::MainOptics:
            mainOptics = on;
            break;
        case ReportPart::Video:
            video = on;
            break;
    }
}

std::string limitSerialNumber(const std::string& typed) { return typed.substr(0, ReportOptions::kSerialNumberLength); }

const char* reportPartName(ReportPart part) {
    switch (part) {
        case ReportPart::Statistics:
            return "Statistics";
        case ReportPart::Sensors:
            return "Sensors Data";
        case ReportPart::MainOptics:
            return "Main Optics Data";
        case ReportPart::Video:
            return "White Paper Video Test Results";
    }
    return "";
}

}  // namespace halvek
