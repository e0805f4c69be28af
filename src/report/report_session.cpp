#include "report/report_session.h"

namespace halvek {
namespace {

constexpr ReportPart kAllParts[] = {ReportPart::Statistics, ReportPart::Sensors, ReportPart::MainOptics,
                                    ReportPart::Video};

}  // namespace

ReportSession::ReportSession(LinkController& controller, ReportSessionListener* listener)
    : controller_(controller), listener_(listener), countdown_(controller) {
    countdown_.setChangeHandler([this] {
        if (listener_) listener_->reportReadsChanged();
    });
}

bool ReportSession::open() {
    if (!controller_.timerRunning()) return false;
    countdown_.wantParts(options_);
    countdown_.start();
    return true;
}

void ReportSession::setOptions(const ReportOptions& options) {
    options_ = options;
    options_.serialNumber = limitSerialNumber(options.serialNumber);
    countdown_.wantParts(options_);
    if (listener_) listener_->reportReadsChanged();
}

bool ReportSession::ready() const {
    if (!options_.any()) return false;
    for (ReportPart p : kAllParts)
        if (options_.includes(p) && countdown_.state(p) != ReadState::Answered) return false;
    return true;
}

bool ReportSession::failed() const {
    for (ReportPart p : kAllParts)
        if (options_.includes(p) && countdown_.state(p) == ReadState::Failed) return true;
    return false;
}

std::string ReportSession::problem() const {
    std::string s;
    for (ReportPart p : kAllParts) {
        if (!options_.includes(p) || countdown_.state(p) != ReadState::Failed) continue;
        if (!s.empty()) s += "; ";
        s += std::string(reportPartName(p)) + ": " + countdown_.failure(p);
    }
    return s;
}

std::string ReportSession::waitingFor() const {
    std::string s;
    for (ReportPart p : kAllParts) {
        if (!options_.includes(p)) continue;
        const ReadState st = countdown_.state(p);
        if (st == ReadState::Answered || st == ReadState::Failed) continue;
        if (!s.empty()) s += ", ";
        s += reportPartName(p);
    }
    return s;
}

std::string ReportSession::proposedFileName() const {
    return proposedReportFileName(controller_.stores().sensors.l8v, options_.serialNumber);
}

std::string ReportSession::reportBytes(const ReportTime& when) const {
    return writeReport(controller_.stores(), options_, when);
}

ReportFileResult ReportSession::save(const std::string& path, const ReportTime& when) const {
    if (!options_.any()) return {false, "no part of the report is chosen"};
    if (failed()) return {false, "not written to " + path + ": " + problem()};
    if (!ready()) return {false, "not written to " + path + ": still reading " + waitingFor()};
    return writeReportFile(path, reportBytes(when));
}

}  // namespace halvek
