#include "report/report_countdown.h"

#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

std::string commandName(uint8_t code) {
    const CommandInfo* info = findCommand(code);
    return info ? info->name : "command";
}

}  // namespace

ReportCountdown::ReportCountdown(LinkController& controller) : controller_(controller) {}

int ReportCountdown::countdown() const { return phase_ == Phase::Reading ? controller_.reportCountdown() : kTicks; }

void ReportCountdown::start() {
    phase_ = Phase::WaitingForStartup;
    ticks_ = 0;
    reads_.clear();
    // The observer stays with the controller after this countdown is gone (a window
    // may be destroyed after the controller); it then does nothing.
    controller_.setReplyObserver(
        [this, alive = std::weak_ptr<void>(alive_)](uint8_t code, uint8_t selector, bool stored) {
            if (!alive.expired()) onReply(code, selector, stored);
        });
    if (lineQuiet()) begin();
}

void ReportCountdown::wantVideo() {
    if (videoWanted_) return;
    videoWanted_ = true;
    if (phase_ == Phase::Reading) add(ReportPart::Video, cmd::ReadDiagn0, kVideoSelector, true);
}

void ReportCountdown::add(ReportPart part, uint8_t code, uint8_t selector, bool ownRequest) {
    reads_.push_back({part, code, selector, ownRequest, ReadState::Waiting, {}});
}

// Nothing requested and nothing awaited: the reads of a fresh connection are through.
bool ReportCountdown::lineQuiet() const {
    if (controller_.startupCountdown() > 0) return false;
    for (int code = 1; code < 256; ++code)
        if (controller_.requestState(static_cast<uint8_t>(code)) != RequestState::Idle) return false;
    return true;
}

void ReportCountdown::begin() {
    phase_ = Phase::Reading;
    controller_.setReportCountdown(kTicks);
    add(ReportPart::Statistics, cmd::ReadStats, 0, false);
    add(ReportPart::MainOptics, cmd::ReadDiagn1, 0, false);
    add(ReportPart::Sensors, cmd::ReadDiagn0, kSensorSelector, false);
    // The header's revision and the bill values come from the start-up reads; a
    // connection whose start-up reads went unanswered has not got them yet.
    const Stores& s = controller_.stores();
    if (s.identity.revision[0] == '\0') add(ReportPart::Statistics, cmd::ReadProgRev, 0, true);
    if (!s.bills.tableLoaded)
        add(ReportPart::Statistics, controller_.extendedMode() ? cmd::ReadCreditTable : cmd::ReadUnitOpt, 0, true);
    if (videoWanted_) add(ReportPart::Video, cmd::ReadDiagn0, kVideoSelector, true);
}

bool ReportCountdown::diagnosticsReadPending() const {
    return controller_.requestState(cmd::ReadDiagn0) != RequestState::Idle;
}

void ReportCountdown::ask(Read& read) {
    if (read.code == cmd::ReadDiagn0) {
        if (!controller_.diagnosticsAvailable()) {
            setState(read, ReadState::Failed, text::kSensorsNotAvailable);
            return;
        }
        // One selector serves both diagnostics reads: the video read waits until the
        // sensor read is out of the way, or it would take the sensors' selector.
        if (controller_.reportCountdown() > 0 || diagnosticsReadPending()) return;
        controller_.setDiagnosticsSelector(read.selector);
    }
    controller_.request(read.code);
    setState(read, ReadState::Asked);
}

void ReportCountdown::follow(Read& read) {
    const bool requested = controller_.requestState(read.code) != RequestState::Idle;
    if (read.state == ReadState::Waiting) {
        if (read.ownRequest) {
            ask(read);
        } else if (requested) {
            setState(read, ReadState::Asked);
        } else if (controller_.reportCountdown() == 0) {
            // The countdown has asked for it (unless the firmware cannot answer it),
            // and the request has ended without its reply.
            if (read.code == cmd::ReadDiagn0 && !controller_.diagnosticsAvailable())
                setState(read, ReadState::Failed, text::kSensorsNotAvailable);
            else
                setState(read, ReadState::Failed, "the unit did not answer \"" + commandName(read.code) + "\"");
        }
        return;
    }
    // The request has ended without its reply: given up, or refused by the unit.
    if (read.state == ReadState::Asked && !requested)
        setState(read, ReadState::Failed, "the unit did not answer \"" + commandName(read.code) + "\"");
}

void ReportCountdown::onTick() {
    if (phase_ == Phase::Idle) return;
    ++ticks_;
    if (phase_ == Phase::WaitingForStartup) {
        // A line that does not settle is read all the same, with what it gives.
        if (lineQuiet() || ticks_ > kSettleLimit) {
            ticks_ = 0;
            begin();
        }
        return;
    }
    for (Read& r : reads_)
        if (r.state == ReadState::Waiting || r.state == ReadState::Asked) follow(r);
    if (ticks_ > kTickLimit)
        for (Read& r : reads_)
            if (r.state == ReadState::Waiting || r.state == ReadState::Asked)
                setState(r, ReadState::Failed, "the unit did not answer \"" + commandName(r.code) + "\" in time");
}

void ReportCountdown::onReply(uint8_t code, uint8_t selector, bool stored) {
    for (Read& r : reads_) {
        if (r.code != code || (r.selector != 0 && r.selector != selector)) continue;
        if (r.state != ReadState::Waiting && r.state != ReadState::Asked) continue;
        // A reply too short for its data leaves the store as it was: writing that
        // as the unit's data would put stale or empty figures in the report.
        if (stored)
            setState(r, ReadState::Answered);
        else
            setState(r, ReadState::Failed,
                     "the unit's reply to \"" + commandName(r.code) + "\" was too short for its data");
    }
}

void ReportCountdown::setState(Read& read, ReadState state, std::string failure) {
    read.state = state;
    read.failure = std::move(failure);
    if (changed_) changed_();
}

ReadState ReportCountdown::state(ReportPart part) const {
    if (phase_ != Phase::Reading) return ReadState::Waiting;
    bool any = false, allAnswered = true, anyAsked = false;
    for (const Read& r : reads_) {
        if (r.part != part) continue;
        any = true;
        if (r.state == ReadState::Failed) return ReadState::Failed;
        if (r.state != ReadState::Answered) allAnswered = false;
        if (r.state == ReadState::Asked) anyAsked = true;
    }
    if (!any) return ReadState::Waiting;  // video not asked for
    if (allAnswered) return ReadState::Answered;
    return anyAsked ? ReadState::Asked : ReadState::Waiting;
}

std::string ReportCountdown::failure(ReportPart part) const {
    for (const Read& r : reads_)
        if (r.part == part && r.state == ReadState::Failed) return r.failure;
    return {};
}

}  // namespace halvek
