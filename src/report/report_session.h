#pragma once

#include <string>

#include "link/link_controller.h"
#include "report/report_countdown.h"
#include "report/report_file.h"
#include "report/report_options.h"
#include "report/report_writer.h"

namespace halvek {

// Told when the reads of a report move on, so that a window can show the
// countdown and enable OK.
class ReportSessionListener {
  public:
    virtual ~ReportSessionListener() = default;
    virtual void reportReadsChanged() = 0;
};

// One diagnostics report from opening to the written file: the chosen parts,
// the reads they need, and the file. A report is written only once every read
// of its parts has been answered, so that it never passes old or empty stores
// off as the unit's data. It owns no timer: call onTick() after each tick of the
// controller.
class ReportSession {
  public:
    ReportSession(LinkController& controller, ReportSessionListener* listener = nullptr);

    // Starts the reads; false while the validator is not connected (nothing is read).
    bool open();
    void onTick() { countdown_.onTick(); }

    void setOptions(const ReportOptions& options);
    const ReportOptions& options() const { return options_; }

    // Every read of the chosen parts has been answered (and a part is chosen).
    bool ready() const;
    // A chosen part can no longer be read: the report cannot be written as chosen.
    bool failed() const;
    // Which chosen parts cannot be read and why; "" when none.
    std::string problem() const;
    // Which chosen parts still wait for their reads, e.g. "Statistics, Sensors Data".
    std::string waitingFor() const;
    const ReportCountdown& countdown() const { return countdown_; }

    std::string proposedFileName() const;
    std::string reportBytes(const ReportTime& when = ReportTime::now()) const;
    // Writes the report to path; refused (nothing written) until ready().
    ReportFileResult save(const std::string& path, const ReportTime& when = ReportTime::now()) const;

  private:
    LinkController& controller_;
    ReportSessionListener* listener_;
    ReportCountdown countdown_;
    ReportOptions options_;
};

}  // namespace halvek
