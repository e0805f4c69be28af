#include "link/link_controller.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/command_table.h"
#include "link/link_counters_text.h"
#include "link/place_command.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "protocol/status_bits.h"

namespace halvek {

LinkController::LinkController(CommBlock& block, Stores& stores, UserInterface& ui, const PortMap& ports)
    : block_(block),
      stores_(stores),
      ui_(ui),
      ports_(ports),
      titleText_(text::windowTitle()),
      settlement_([this](const MoneyEvent& e) { takeMoneyRecord(e); },
                  [this](const SettlementRequest& r) { carryOut(r); }, [this](const std::string& n) { tellLink(n); }) {
    linkFlags_ |= linkflag::ReaderStarted;
}

int64_t LinkController::nowMs() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LinkCounters LinkController::linkCounters() const {
    LinkCounters c = counters_;
    c.noiseBytes = block_.noiseBytes.load();
    c.badHeaders = block_.badHeaders.load();
    c.truncatedFrames = block_.truncatedFrames.load();
    c.echoes = block_.echoes.load();
    return c;
}

std::string LinkController::linkSummary() const { return linkCountersText(linkCounters()); }

void LinkController::tellLink(const std::string& notice) {
    for (StatusListener* l : listeners_) l->linkNotice(notice);
}

void LinkController::addEvent(const std::string& text) {
    stores_.events.add(text);
    for (StatusListener* l : listeners_) l->eventAdded(text);
}

std::string LinkController::portPath() const { return ports_.pathFor(comPortIndex_ + 1); }

bool LinkController::setExtendedMode(bool on) {
    if (linkOpen_) return false;
    block_.extendedMode.store(on);
    return true;
}

bool LinkController::setComPortIndex(int index) {
    if (linkOpen_ || index < 0) return false;
    comPortIndex_ = index;
    return true;
}

bool LinkController::connect() {
    if (lineLent_) return false;
    if (!(linkFlags_ & linkflag::PortOpen)) {
        const std::string path = portPath();
        if (!block_.port.open(path, Parity::Even, 9600)) {
            clearFlag(linkflag::PortOpen);
            ui_.showMessage({text::kInfo, text::kNoConnection, Buttons::Ok, Icon::None, block_.port.lastError()});
            return false;
        }
        block_.portLost.store(false);
        block_.outputStalled.store(false);
        lostReported_ = false;
        linkFlags_ |= linkflag::PortOpen;
        unit_ = identifyPort(path);
        // Nothing is known of whoever is on this line until it answers.
        answered_ = false;
        missedPollCount_ = 0;
        startupCountdown_ = 0;
    } else if (answered_) {
        startupCountdown_ = kStartupReads;  // CONNECT again: the start-up reads run again
    }
    if (!(linkFlags_ & linkflag::TimerRunning)) startTimer();
    ui_.setModeCaption(text::kPollingMode);
    linkOpen_ = true;
    ui_.setConnectionControlsEnabled(false);
    showLinkState();
    return true;
}

void LinkController::shutdown() {
    linkOpen_ = false;
    stopTimer();
    block_.port.close();
    clearFlag(linkflag::PortOpen);
}

void LinkController::startTimer() {
    ui_.startPollTimer(pollInterval_);
    linkFlags_ |= linkflag::TimerRunning;
}

void LinkController::stopTimer() {
    if (!timerRunning()) return;
    ui_.stopPollTimer();
    clearFlag(linkflag::TimerRunning);
}

void LinkController::setPollInterval(int ms) {
    pollInterval_ = ms;
    if (timerRunning()) {
        ui_.stopPollTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ui_.startPollTimer(pollInterval_);
    }
    ui_.setModeCaption(text::modeCaption(interruptMode(), pollInterval_));
    ui_.repaintDrawingArea(false);
}

void LinkController::closeValidatorPort() {
    if (!block_.port.isOpen()) return;
    clearFlag(linkflag::PortOpen);
    block_.port.close();
}

void LinkController::request(uint8_t code) { requests_[code] = RequestState::Requested; }

void LinkController::requestSensorData() {
    if (!diagnosticsAvailable_) {
        ui_.showMessage({text::kInfo, text::kSensorsNotAvailable});
        return;
    }
    requestDiagnostics(kSensorSelector);
}

void LinkController::requestDiagnostics(uint8_t selector) {
    diagnosticsSelector_ = selector;
    request(cmd::ReadDiagn0);
}

void LinkController::requestStats() { request(cmd::ReadStats); }

bool LinkController::enableAllBills(bool enable) {
    if (!timerRunning()) {
        ui_.showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    for (size_t type = 1; type <= kBillTypes; ++type)
        if (stores_.bills.values[type] != 0) stores_.bills.enabled[type - 1] = enable ? 1 : 0;
    ui_.refreshView(View::BillList);
    request(cmd::SetBillEnable);
    return true;
}

bool LinkController::toggleBill(int row) {
    if (!timerRunning()) {
        ui_.showMessage({text::kInfo, text::kNoConnectionLower});
        return false;
    }
    if (row < 0 || row >= kBillTypes) return false;
    stores_.bills.enabled[static_cast<size_t>(row)] ^= 1;
    ui_.refreshView(View::BillList);
    request(cmd::SetBillEnable);
    return true;
}

void LinkController::selectPage(TabRow row, int index, bool moveTab) {
    if (row == TabRow::Lower) {
        lowerPage_ = index;
        if (index == page::CommandStatus) {
            stores_.panes.commandDirty = stores_.panes.statusDirty = true;
            // The next status reply is then decoded as changed and repaints the panes.
            stores_.status.previous[5] = 1;
        }
    } else {
        upperPage_ = index;
    }
    ui_.showPage(row, index, moveTab);
    if (row == TabRow::Lower) ui_.repaintDrawingArea(true);
}

void LinkController::refresh(Views views) {
    for (uint8_t v = 0; v <= static_cast<uint8_t>(View::CassetteControls); ++v) {
        const View view = static_cast<View>(v);
        if (!views.has(view)) continue;
        const int lower = lowerPageOf(view);
        if (lower < 0)
            ui_.refreshView(view);
        else if (lower == lowerPage_)
            ui_.repaintDrawingArea(false);
    }
}

void LinkController::addStatusListener(StatusListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void LinkController::removeStatusListener(StatusListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

int LinkController::currentState() const {
    using namespace status;
    const auto& s = stores_.status.received;
    if (s[1] & kPowerUp) return 1;
    if (s[1] & kIdle) return 2;
    if (s[1] & kAccepting) return 3;
    if (s[0] & kEscrow) return 4;
    if (s[1] & kStacking) return 5;
    if (s[1] & (kReturning | kRejected)) return 6;
    if (s[2] & kInhibited) return 7;
    return 0;
}

// A device that went away under an open port (a pulled adapter) is closed, said
// once, and opened again on a later tick when it is back.
void LinkController::checkLostPort() {
    if (block_.portLost.load() && (linkFlags_ & linkflag::PortOpen)) {
        const std::string path = block_.port.path();
        closeValidatorPort();
        // Nobody answers on a line that is gone: said at once, not after the
        // ticks a silent unit is given.
        answered_ = false;
        pollInFlight_ = false;
        updateLinkState();
        if (!lostReported_) {
            lostReported_ = true;
            ui_.showMessage({text::kInfo, text::kNoConnection, Buttons::Ok, Icon::None,
                             "the device " + path + " went away (unplugged or closed)"});
        }
    }
    if (!lostReported_ || (linkFlags_ & linkflag::PortOpen) || !linkOpen_) return;
    // The same adapter again, wherever the replug put it (not another adapter
    // that took over its old name); the path as chosen when nothing more is known.
    const std::string again = resolvePort(unit_);
    if (!again.empty() && block_.port.open(again, Parity::Even, 9600)) {
        block_.portLost.store(false);
        block_.outputStalled.store(false);
        lostReported_ = false;
        linkFlags_ |= linkflag::PortOpen;
        // Maybe another unit now: it is taken as new once it answers.
        answered_ = false;
        missedPollCount_ = 0;
        updateLinkState();
    }
}

// A line that takes no writes (the other end holds it with flow control) is
// there, not gone: it is said once, until a frame goes out again, and its
// polls count as unanswered.
void LinkController::checkOutputFlow() {
    if (!block_.outputStalled.load() || !(linkFlags_ & linkflag::PortOpen)) {
        stallReported_ = false;
        return;
    }
    if (stallReported_) return;
    stallReported_ = true;
    ui_.showMessage({text::kInfo, text::kNoConnection, Buttons::Ok, Icon::None,
                     "the device " + block_.port.path() + " takes no writes (the line is held, as by flow control)"});
}

struct LinkController::TimedRead {
    enum When { Always, InInterruptMode, WithDiagnostics };
    int at;
    uint8_t code;  // 0: the bill table read of the link's mode
    When when;
};

// The bill table comes from the credit table (extended) or the unit options (standard).
const LinkController::TimedRead LinkController::kStartupReadTable[] = {
    {10, cmd::ReadBillEnable, TimedRead::Always},
    {9, cmd::ReadSecLevel, TimedRead::Always},
    {8, 0, TimedRead::Always},
    {7, cmd::ReadProgRev, TimedRead::Always},
    {6, cmd::ReadSetup, TimedRead::Always},
    {4, cmd::SetMode, TimedRead::InInterruptMode},
    {3, cmd::ReadDiagn0, TimedRead::WithDiagnostics},
};
const LinkController::TimedRead LinkController::kReportReadTable[] = {
    {10, cmd::ReadStats, TimedRead::Always},
    {8, cmd::ReadDiagn1, TimedRead::Always},
    {5, cmd::ReadDiagn0, TimedRead::WithDiagnostics},
};

void LinkController::requestTimedReads(std::span<const TimedRead> table, int countdown) {
    for (const TimedRead& t : table) {
        if (t.at != countdown) continue;
        if (t.when == TimedRead::InInterruptMode && !interruptMode()) continue;
        if (t.when == TimedRead::WithDiagnostics && !diagnosticsAvailable_) continue;
        const uint8_t code = t.code != 0 ? t.code : extendedMode() ? cmd::ReadCreditTable : cmd::ReadUnitOpt;
        if (code == cmd::ReadDiagn0)
            requestDiagnostics(kSensorSelector);
        else
            request(code);
    }
}

// "connected" once the unit has answered and while it goes on answering;
// "disconnected" before its first answer and after kLostAfterMissedPolls
// ticks without a frame, whatever was being sent meanwhile.
void LinkController::updateLinkState() {
    if (answered_ && missedPollCount_ <= kLostAfterMissedPolls)
        linkFlags_ |= linkflag::Connected;
    else
        clearFlag(linkflag::Connected);
    if (linkFlags_ == lastShownFlags_) return;
    const bool connected = linkFlags_ & linkflag::Connected;
    if (connected && !(lastShownFlags_ & linkflag::Connected)) {
        // A unit (again) on the line: what an earlier one told no longer holds.
        if (hadUnit_) forgetUnit();
        hadUnit_ = true;
        startupCountdown_ = kStartupReads;
    }
    showLinkState();
}

void LinkController::showLinkState() {
    const bool connected = linkFlags_ & linkflag::Connected;
    const std::string title = titleText_ + (connected ? " connected" : " disconnected");
    if (title != shownTitle_) {
        shownTitle_ = title;
        ui_.setWindowTitle(title);
    }
    lastShownFlags_ = linkFlags_;
}

void LinkController::forgetUnit() {
    settlement_.linkFound();
    stores_.bills = BillStore{};
    stores_.identity.revision = {};
    stores_.identity.revisionNumber = 0;
    stores_.sensors.l8v = false;
    diagnosticsAvailable_ = true;
    ui_.refreshView(View::BillList);
}

// Every tick counts as missed until a frame from the unit sets the count back
// to 0, unless a long reply is still arriving.
void LinkController::countTick(int64_t now) {
    if (!replyArriving(now)) ++missedPollCount_;
    updateLinkState();
}

// A frame has announced its length and its bytes are still coming: a frame
// written now would start its reception afresh and lose it.
bool LinkController::replyArriving(int64_t now) const {
    return block_.replyAnnounced.load() != 0 && now - block_.lastByteMs.load() < pollInterval_;
}

// A command waits for its reply as long as the reply's bytes take at the line
// speed, plus a margin; then it is asked again, and at last given up.
void LinkController::checkReplyWaits(int64_t now) {
    for (int code = 1; code < 256; ++code) {
        const auto c = static_cast<uint8_t>(code);
        if (requests_[c] != RequestState::AwaitingReply) continue;
        const uint32_t announced = c == lastSentCode_ ? block_.replyAnnounced.load() : 0;
        const int64_t wait = kReplyMarginMs + static_cast<int64_t>(announced) * kByteTimeUs / 1000;
        if (now - awaitSince_[c] >= wait) replyMissing(c);
    }
}

// A reply that does not come is asked for again, a few times, like a damaged one.
void LinkController::replyMissing(uint8_t code) {
    if (retries_[code] < kMaxRetries) {
        ++retries_[code];
        ++counters_.retried;
        requests_[code] = RequestState::Requested;
        const CommandInfo* info = findCommand(code);
        tellLink(std::string("no reply to \"") + (info ? info->name : "?") + "\"; asked again");
        return;
    }
    giveUp(code);
}

void LinkController::giveUp(uint8_t code) {
    requests_[code] = RequestState::Idle;
    retries_[code] = 0;
    ++counters_.givenUp;
    const CommandInfo* info = findCommand(code);
    tellLink(std::string("no reply to \"") + (info ? info->name : "?") + "\"; given up");
    // The bill table is asked for until it comes: without it no bill can be decided on.
    if (billTableRead(code) && !stores_.bills.tableLoaded) requestBillTable();
    // Likewise the count that settles bills: the settlement machine asks again, or gives them in doubt.
    if (code == cmd::ReadBillCounter) settlement_.countGivenUp();
}

bool LinkController::billTableRead(uint8_t code) const {
    return code == cmd::ReadCreditTable || code == cmd::ReadUnitOpt;
}

void LinkController::requestBillTable() {
    const uint8_t code = extendedMode() ? cmd::ReadCreditTable : cmd::ReadUnitOpt;
    if (requests_[code] == RequestState::Idle) request(code);
}

void LinkController::onTick() {
    // The firmware download has taken the line over (the controller's port is
    // closed): nothing of the controller's may go out on it.
    if (lineLent_ && !(linkFlags_ & linkflag::PortOpen)) return;
    checkLostPort();
    checkOutputFlow();
    const int64_t now = nowMs();
    requestTimedReads(kStartupReadTable, startupCountdown_);
    // The statistics refresh after a bill while the Statistics page is shown.
    if (statsRefreshCountdown_ == 1) request(cmd::ReadStats);
    requestTimedReads(kReportReadTable, reportCountdown_);
    checkReplyWaits(now);
    // A long reply still arriving holds back every frame, the poll included.
    if (!replyArriving(now)) scanRequests();
    countTick(now);
    if (reportCountdown_ > 0) --reportCountdown_;
    if (statsRefreshCountdown_ > 0) --statsRefreshCountdown_;
    if (startupCountdown_ > 0) --startupCountdown_;
}

// One frame at most: the lowest requested code, else a poll. A command that
// awaits its reply holds back everything above it, the poll included.
void LinkController::scanRequests() {
    bool waiting = false, sent = false;
    for (int code = 1; code < 256 && !waiting && !sent; ++code) {
        const auto c = static_cast<uint8_t>(code);
        switch (requests_[c]) {
            case RequestState::Idle:
                break;
            case RequestState::Requested: {
                const CommandRow* row = findCommandRow(c);
                const CommandInfo* info = findCommand(c);
                // A mark no builder can turn into a frame would stop the scan for good.
                if (row == nullptr || row->build == nullptr || info == nullptr) {
                    requests_[c] = RequestState::Idle;
                    break;
                }
                row->build(*this, *info);
                sent = true;
                break;
            }
            case RequestState::AwaitingReply:
                waiting = true;
                break;
        }
    }
    if (waiting || sent) return;
    // In interrupt mode a quiet unit is asked now and then whether it is still there.
    if (!interruptMode() || (missedPollCount_ >= kWakeAfterTicks && missedPollCount_ % kWakeAfterTicks == 0))
        buildStatusRequest();
}

bool LinkController::buildStatusRequest() {
    if (!placeCommand(block_, cmd::Status)) return false;
    lastSentCode_ = cmd::Status;
    pollInFlight_ = true;
    pollSentMs_ = nowMs();
    return true;
}

// "Poll now" is honoured only while no poll of the host's is on its way or
// waiting for its status, and no faster than kPollNowSpacingMs: a unit that
// keeps asking gets what the line can carry, no more.
void LinkController::pollNow() {
    const int64_t now = nowMs();
    if (now - lastPollNowMs_ < kPollNowSpacingMs) return;
    if (pollInFlight_ && now - pollSentMs_ < kReplyMarginMs) return;
    if (replyArriving(now)) return;
    if (buildStatusRequest()) lastPollNowMs_ = now;
}

// Whether a frame shows that the unit answers the host: a status reply, or the
// reply to a command the host sent. A "poll now", or data nobody asked for, says
// only that something is on the line.
bool LinkController::answersHost(const Reply& r) const {
    const uint8_t code = r.code();
    switch (code) {
        case cmd::Status:
            return r.dataCount() >= ProtocolFramer::kStatusDataMin;
        case cmd::PollNow:
            return false;
        case cmd::Ack:
        case cmd::Unsupported:
            return block_.receiveAwaited.load();
        default: {
            const CommandRow* row = findCommandRow(code);
            return row != nullptr && askedFor(code, *row);
        }
    }
}

bool LinkController::askedFor(uint8_t code, const CommandRow& row) const {
    return requests_[code] == RequestState::AwaitingReply || code == lastSentCode_ || row.takenUnasked;
}

void LinkController::markAwaiting(uint8_t code, bool awaits) {
    requests_[code] = awaits ? RequestState::AwaitingReply : RequestState::Idle;
    if (awaits) awaitSince_[code] = nowMs();
}

void LinkController::afterBuild(uint8_t code) {
    lastSentCode_ = code;
    if (code == cmd::ReadBillCounter) settlement_.countReadPlaced();
    if (lowerPage_ == page::CommandStatus) {
        stores_.panes.commandDirty = true;
        ui_.repaintDrawingArea(false);
    }
}

bool LinkController::sendSimpleCommand(uint8_t code, bool expectsData) {
    const CommandInfo* info = findCommand(code);
    // The name is recorded even when another frame is still waiting.
    stores_.history.recordCommand(info ? info->name : "");
    if (!placeCommand(block_, code)) return false;
    markAwaiting(code, expectsData);
    afterBuild(code);
    return true;
}

bool LinkController::sendCommand(uint8_t code, std::span<const uint8_t> data, bool awaits, const std::string& name) {
    if (!placeCommand(block_, code, data)) return false;
    markAwaiting(code, awaits);
    stores_.history.recordCommand(name);
    afterBuild(code);
    return true;
}

bool LinkController::sendRawFrame(uint8_t code, std::span<const uint8_t> frame, bool awaits, const std::string& name) {
    if (!block_.placeFrame(frame.data(), frame.size())) return false;
    markAwaiting(code, awaits);
    stores_.history.recordCommand(name);
    afterBuild(code);
    return true;
}

void LinkController::onNotification(Notification n) {
    if (n == Notification::ReplyReady) {
        onReplyReady();
    } else if (transferHandler_) {
        transferHandler_(n);
    }
}

void LinkController::onReplyReady() {
    const bool extended = block_.receiveExtended.load();
    const Reply r(block_.receiveBuffer.data(), block_.receiveBuffer.size(), extended);
    // A frame the line damaged is never used: its request is sent again.
    if (block_.receiveDamaged.load()) {
        ++counters_.damagedFrames;
        rejectFrame("a frame with a damaged byte (parity) was dropped");
    } else if (!checksumValid(block_.receiveBuffer.data(), r.length(), extended)) {
        ++counters_.badChecksums;
        rejectFrame("a frame with a wrong checksum was dropped");
    } else if (r.byte(0) == kStx) {
        // The link state first: a unit found again forgets the last one before its data are stored.
        if (answersHost(r)) {
            missedPollCount_ = 0;
            answered_ = true;
            updateLinkState();
        }
        dispatch(r);
    }
    if (lowerPage_ == page::ViewData) ui_.repaintDrawingArea(false);
}

void LinkController::rejectFrame(const char* why) {
    tellLink(why);
    // A damaged frame that came unasked (interrupt mode) answered nothing: the
    // command waiting goes on waiting for its own reply.
    if (!block_.receiveAwaited.load()) return;
    const uint8_t code = lastSentCode_;
    if (requests_[code] != RequestState::AwaitingReply) return;
    if (retries_[code] < kMaxRetries) {
        ++retries_[code];
        ++counters_.retried;
        requests_[code] = RequestState::Requested;
    } else {
        giveUp(code);
    }
}

void LinkController::dispatch(const Reply& r) {
    const uint8_t code = r.code();
    switch (code) {
        case cmd::Status:
            // A status frame without the status bytes (the poll itself, on a line
            // that echoes) says nothing of the unit.
            if (r.dataCount() < ProtocolFramer::kStatusDataMin) {
                ++counters_.unusable;
                tellLink("a status reply too short for its status bytes was dropped");
                return;
            }
            pollInFlight_ = false;
            decodeStatus(r);
            return;
        case cmd::PollNow:
            pollNow();
            return;
        case cmd::Ack:
            if (lowerPage_ == page::CommandStatus) {
                stores_.panes.commandDirty = stores_.panes.statusDirty = true;
                ui_.repaintDrawingArea(false);
            } else if (lowerPage_ == page::ViewData) {
                ui_.repaintDrawingArea(false);
            }
            return;
        case cmd::Unsupported:
            // The refusal answers the last command sent: it will bring no data.
            ++counters_.refused;
            if (requests_[lastSentCode_] == RequestState::AwaitingReply) requests_[lastSentCode_] = RequestState::Idle;
            upperPage_ = page::Setup;
            ui_.showPage(TabRow::Upper, page::Setup, false);
            ui_.showMessage({text::kInfo, text::kNotSupported});
            return;
        default:
            break;
    }
    const CommandRow* row = findCommandRow(code);
    const CommandInfo* info = findCommand(code);
    if (row == nullptr) return;
    // Replies of commands that carry nothing back are not looked at.
    if (row->store == nullptr && !(info && info->awaitsReply)) return;
    // Data are taken only from the answer to a command that asked for them:
    // a reply nobody asked for could be anything, and is dropped.
    if (!askedFor(code, *row)) {
        ++counters_.unasked;
        tellLink((info ? std::string("a reply to \"") + info->name + "\"" : std::string("a reply")) +
                 " nobody asked for was dropped");
        return;
    }
    requests_[code] = RequestState::Idle;
    retries_[code] = 0;
    replyUnusable_ = false;
    if (row->store) row->store(*this, r);
    if (replyUnusable_) {
        // Asking again would bring the same short reply: the read ends here, and
        // whoever waits for it hears that its data did not come.
        ++counters_.unusable;
        tellLink((info ? std::string("the reply to \"") + info->name + "\"" : std::string("a reply")) +
                 " was too short for its data and was not used");
        if (replyObserver_) replyObserver_(code, sentDiagnosticsSelector_, false);
        return;
    }
    if (billTableRead(code)) billTableChanged();
    ++repliesTaken_[code];
    refresh(row->refresh);
    if (replyObserver_) replyObserver_(code, sentDiagnosticsSelector_, true);
}

}  // namespace halvek
