#include "report/report_countdown.h"

#include "link/texts.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

std::string commandName(uint8_t code) {
    const CommandInfo* info = findCommand(code);
    return info ? info->name : "command";
}

std::string unanswered(uint8_t code) { return "the unit did not answer \"" + commandName(code) + "\""; }

constexpr ReportPart kPartOrder[] = {ReportPart::Statistics, ReportPart::Sensors, ReportPart::MainOptics,
                                     ReportPart::Video};

}  // namespace

ReportCountdown::ReportCountdown(LinkController& controller) : controller_(controller) {}

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

void ReportCountdown::wantParts(const ReportOptions& options) {
    for (ReportPart p : kPartOrder) {
        if (!options.includes(p) || wanted_[static_cast<size_t>(p)]) continue;
        wanted_[static_cast<size_t>(p)] = true;
        if (phase_ == Phase::Reading) addPartReads(p);
    }
    if (phase_ == Phase::Reading) askNext();
}

void ReportCountdown::add(ReportPart part, uint8_t code, uint8_t selector, bool forEveryPart) {
    reads_.push_back({part, code, selector, forEveryPart, ReadState::Waiting, {}, false});
}

// The unit answers, and nothing is requested or awaited: the reads of a fresh
// connection are through.
bool ReportCountdown::lineQuiet() const {
    if (!controller_.unitAnswered() || controller_.startupCountdown() > 0) return false;
    for (int code = 1; code < 256; ++code)
        if (controller_.requestState(static_cast<uint8_t>(code)) != RequestState::Idle) return false;
    return true;
}

void ReportCountdown::begin() {
    phase_ = Phase::Reading;
    ticks_ = 0;
    // The header's revision comes from the start-up reads; a connection whose
    // start-up reads went unanswered (or were left out) has not got it yet. It
    // also says whether this firmware has the diagnostics reads at all.
    if (controller_.stores().identity.revision[0] == '\0') add(ReportPart::Statistics, cmd::ReadProgRev, 0, true);
    add(ReportPart::Sensors, cmd::ReadDiagn0, kSensorSelector, true);
    for (ReportPart p : kPartOrder)
        if (wanted_[static_cast<size_t>(p)]) addPartReads(p);
    askNext();
}

void ReportCountdown::addPartReads(ReportPart part) {
    switch (part) {
        case ReportPart::Statistics:
            add(part, cmd::ReadStats, 0);
            // The bill values of the statistics come from the bill table.
            if (!controller_.stores().bills.tableLoaded)
                add(part, controller_.extendedMode() ? cmd::ReadCreditTable : cmd::ReadUnitOpt, 0);
            break;
        case ReportPart::Sensors:
            break;  // the sensor read is made for every report
        case ReportPart::MainOptics:
            add(part, cmd::ReadDiagn1, 0);
            break;
        case ReportPart::Video:
            // The white-paper video test result: the last one the unit holds.
            add(part, cmd::ReadDiagn0, kVideoSelector);
            break;
    }
}

// One read at a time, in the order they were added: the variant is known before
// the optics are decoded, and the two diagnostics reads never share a selector.
void ReportCountdown::askNext() {
    for (Read& r : reads_) {
        if (r.state == ReadState::Asked) return;
        // Without the revision or the variant no part can be written: nothing more is read.
        if (r.state == ReadState::Failed && r.forEveryPart && !r.unavailable) return;
        if (r.state != ReadState::Waiting) continue;
        ask(r);
        if (r.state != ReadState::Failed) return;
    }
}

void ReportCountdown::ask(Read& read) {
    const bool pending = controller_.requestState(read.code) != RequestState::Idle;
    if (read.code == cmd::ReadDiagn0) {
        if (!controller_.diagnosticsAvailable()) {
            read.unavailable = true;
            setState(read, ReadState::Failed, text::kSensorsNotAvailable);
            return;
        }
        // A diagnostics read asked elsewhere goes first: its selector is not ours.
        if (pending) return;
        controller_.setDiagnosticsSelector(read.selector);
    }
    // Already on its way (a page asked for it): its reply serves the report too.
    if (!pending) controller_.request(read.code);
    setState(read, ReadState::Asked);
}

// The request has ended without its reply: given up, or refused by the unit.
void ReportCountdown::follow(Read& read) {
    if (read.state == ReadState::Asked && controller_.requestState(read.code) == RequestState::Idle)
        setState(read, ReadState::Failed, unanswered(read.code));
}

void ReportCountdown::onTick() {
    if (phase_ == Phase::Idle) return;
    ++ticks_;
    if (phase_ == Phase::WaitingForStartup) {
        // A line that does not settle is read all the same, with what it gives.
        if (lineQuiet() || ticks_ > kSettleLimit) begin();
        return;
    }
    for (Read& r : reads_) follow(r);
    askNext();
    if (ticks_ > kTickLimit)
        for (Read& r : reads_)
            if (r.state == ReadState::Waiting || r.state == ReadState::Asked)
                setState(r, ReadState::Failed, unanswered(r.code) + " in time");
}

void ReportCountdown::onReply(uint8_t code, uint8_t selector, bool stored) {
    for (Read& r : reads_) {
        if (r.code != code || r.state != ReadState::Asked) continue;
        // The other diagnostics read (a page's) came in between: ours is asked again.
        if (r.selector != 0 && r.selector != selector) {
            setState(r, ReadState::Waiting);
            continue;
        }
        // A reply too short for its data leaves the store as it was: writing that
        // as the unit's data would put stale or empty figures in the report.
        if (stored)
            setState(r, ReadState::Answered);
        else
            setState(r, ReadState::Failed,
                     "the unit's reply to \"" + commandName(r.code) + "\" was too short for its data");
    }
    if (phase_ == Phase::Reading) askNext();
}

void ReportCountdown::setState(Read& read, ReadState state, std::string failure) {
    read.state = state;
    read.failure = std::move(failure);
    if (changed_) changed_();
}

int ReportCountdown::readsLeft() const {
    int n = 0;
    for (const Read& r : reads_) n += r.state == ReadState::Waiting || r.state == ReadState::Asked;
    return n;
}

bool ReportCountdown::readReadyToSend() const {
    if (phase_ != Phase::Reading) return false;
    bool ready = false;
    for (const Read& r : reads_)
        ready = ready || (r.state == ReadState::Asked && controller_.requestState(r.code) == RequestState::Requested);
    if (!ready) return false;
    for (int code = 1; code < 256; ++code)
        if (controller_.requestState(static_cast<uint8_t>(code)) == RequestState::AwaitingReply) return false;
    return true;
}

// A part waits for its own reads and for those every part needs, except a
// variant read this firmware does not have: such a unit tells no variant.
bool ReportCountdown::counts(const Read& read, ReportPart part) const {
    return read.part == part || (read.forEveryPart && !read.unavailable);
}

ReadState ReportCountdown::state(ReportPart part) const {
    if (phase_ != Phase::Reading || !wanted_[static_cast<size_t>(part)]) return ReadState::Waiting;
    bool allAnswered = true, anyAsked = false;
    for (const Read& r : reads_) {
        if (!counts(r, part)) continue;
        if (r.state == ReadState::Failed) return ReadState::Failed;
        if (r.state != ReadState::Answered) allAnswered = false;
        if (r.state == ReadState::Asked) anyAsked = true;
    }
    if (allAnswered) return ReadState::Answered;
    return anyAsked ? ReadState::Asked : ReadState::Waiting;
}

std::string ReportCountdown::failure(ReportPart part) const {
    for (const Read& r : reads_)
        if (counts(r, part) && r.state == ReadState::Failed) return r.failure;
    return {};
}

}  // namespace halvek
