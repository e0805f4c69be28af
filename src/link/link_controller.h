#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/status_listener.h"
#include "link/stores.h"
#include "link/user_interface.h"
#include "protocol/reply.h"
#include "serial/comm_block.h"
#include "serial/framers.h"
#include "serial/notification.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"

namespace halvek {

struct CommandRow;

enum class RequestState : uint8_t { Idle = 0, Requested = 1, AwaitingReply = 2 };

namespace linkflag {
constexpr uint8_t PortOpen = 0x01, Connected = 0x02, TimerRunning = 0x04, ReaderStarted = 0x08;
}

// The one data byte of "read diagn.(0)": which data the validator sends.
constexpr uint8_t kSensorSelector = 0xA0, kVideoSelector = 0xA1;

// What the link threw away or gave up, for the technician to see.
struct LinkCounters {
    uint32_t badChecksums = 0;    // frames whose checksum was wrong
    uint32_t damagedFrames = 0;   // frames holding a byte the line damaged (parity, framing)
    uint32_t unasked = 0;         // data replies no command was waiting for
    uint32_t givenUp = 0;         // commands whose reply never came
    uint32_t retried = 0;         // commands sent again after a damaged reply
    uint32_t refused = 0;         // commands the unit answered with "not supported"
    uint32_t unusable = 0;        // sound replies too short for the data they should hold
    uint32_t unnamedStacked = 0;  // stacked bills the waiting list could not hold
    // From the reader's framing.
    uint32_t noiseBytes = 0;
    uint32_t badHeaders = 0;
    uint32_t truncatedFrames = 0;
    uint32_t echoes = 0;  // the host's own frames that came back: the line echoes
};

// One bill in escrow: from the reply that first shows it until the unit reports
// it stacked, returned or rejected, or shows the escrow empty while idle. One
// decision per episode; a decision the unit did not act on is sent again
// without deciding again.
struct EscrowEpisode {
    bool open = false;
    int type = 0;
    uint8_t decision = 0;  // 0 none yet, else the command decided on
    int repliesSinceSent = 0;
    int resends = 0;
    bool returnSeen = false;    // the unit showed the bill returned or rejected
    bool acceptPlaced = false;  // an "escrow accept" frame has gone to the line
    bool stale = false;         // the link was lost while it was open: what followed was not seen
    uint8_t wanted = 0;         // the owner's decision, taken as soon as the bill can be decided
};

// The host controller: on every tick it sends the one command a page asked
// for, or polls the validator; it tells whether the validator answers, runs
// the start-up reads after each (re)connection and hands every reply to its
// handler. It runs on the main thread only and owns no timer: its owner calls
// onTick() when the poll timer it was asked for fires.
class LinkController {
  public:
    static constexpr int kStartupReads = 12;
    // Ticks without a frame from the unit after which the link reads "disconnected".
    static constexpr int kLostAfterMissedPolls = 10;
    // How long a command waits for its reply: this margin plus the time the
    // bytes the reply announces take at the line speed. A unit answers within
    // a few milliseconds; the margin stays well inside the ticks after which
    // the link reads "disconnected", so one lost reply never reads as a lost unit.
    static constexpr int64_t kReplyMarginMs = 250;
    static constexpr int64_t kByteTimeUs = 1146;  // 11 bits at 9600 baud
    // A command whose reply came damaged, or did not come, is sent again this often at most.
    static constexpr int kMaxRetries = 3;
    // In interrupt mode the unit speaks when it has something to say; after this
    // many quiet ticks a poll asks whether it is still there.
    static constexpr int kWakeAfterTicks = 3;
    // "Poll now" is honoured at most this often: a unit that keeps asking gets
    // what the line can carry, no more.
    static constexpr int64_t kPollNowSpacingMs = ProtocolFramer::kPollNowGapMs;
    // Replies still showing the bill in escrow after a decision was sent, before it is sent again.
    static constexpr int kResendAfterReplies = 4;
    static constexpr int kMaxResends = 3;
    // Stacked bills waiting for the bill table to be named.
    static constexpr size_t kDeferredStackedMax = 16;

    LinkController(CommBlock& block, Stores& stores, UserInterface& ui, const PortMap& ports);

    // CONNECT and EXIT.
    bool connect();
    void shutdown();

    void onTick();
    void onNotification(Notification n);
    // Steady milliseconds; tests put a clock of their own in.
    void setClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }
    // Download and upload notifications go to the firmware session that has the line.
    void setTransferHandler(std::function<void(Notification)> handler) { transferHandler_ = std::move(handler); }

    // Asking for commands.
    void request(uint8_t code);
    void clearRequest(uint8_t code) { requests_[code] = RequestState::Idle; }
    void requestSensorData();
    void requestStats();
    RequestState requestState(uint8_t code) const { return requests_[code]; }
    // How many replies of this code have been taken and stored since start: a
    // caller that asked for data sees its answer arrive (and a given-up wait not).
    uint32_t repliesTaken(uint8_t code) const { return repliesTaken_[code]; }

    // Placing frames (the command builders and the accessory windows).
    bool sendSimpleCommand(uint8_t code, bool expectsData);
    bool sendCommand(uint8_t code, std::span<const uint8_t> data, bool awaits, const std::string& name);
    // A frame fixed byte for byte, whatever the link's mode.
    bool sendRawFrame(uint8_t code, std::span<const uint8_t> frame, bool awaits, const std::string& name);

    // The bill list and the Command-Status strip: refused with "No connection"
    // while not polling. enableAllBills touches only the types that have a value.
    bool enableAllBills(bool enable);
    bool toggleBill(int row);

    // The poll timer.
    void setPollInterval(int ms);
    int pollInterval() const { return pollInterval_; }
    void startTimer();
    void stopTimer();
    bool timerRunning() const { return linkFlags_ & linkflag::TimerRunning; }
    void closeValidatorPort();

    // The firmware download takes the validator line over: CONNECT is refused
    // until it gives it back.
    void lendLine() { lineLent_ = true; }
    void returnLine() { lineLent_ = false; }
    bool lineLent() const { return lineLent_; }

    // Modes.
    bool extendedMode() const { return block_.extendedMode.load(); }
    bool setExtendedMode(bool on);  // refused (false) once connected
    bool interruptMode() const { return block_.interruptMode.load(); }
    void setInterruptMode(bool on) { block_.interruptMode.store(on); }
    uint8_t linkFlags() const { return linkFlags_; }
    bool linkConnected() const { return linkFlags_ & linkflag::Connected; }
    bool linkOpen() const { return linkOpen_; }
    int comPortIndex() const { return comPortIndex_; }
    bool setComPortIndex(int index);  // refused (false) once connected
    std::string portPath() const;
    // The device the line is open on, which after a replug may be another name
    // than the COM entry's (ttyUSB1 for ttyUSB0); portPath() while it is closed.
    std::string openPortPath() const { return block_.port.isOpen() ? block_.port.path() : portPath(); }

    // Pages.
    void selectPage(TabRow row, int index, bool moveTab = true);
    int lowerPage() const { return lowerPage_; }
    int upperPage() const { return upperPage_; }
    // Shows fresh data in the views of the set that are open.
    void refresh(Views views);

    // The validator state number 0-7 of the current status bytes.
    int currentState() const;
    const std::string& titleText() const { return titleText_; }

    int missedPollCount() const { return missedPollCount_; }
    // A frame has come from the unit since the line was (re)opened.
    bool unitAnswered() const { return answered_; }
    LinkCounters linkCounters() const;
    // The same in one line of words, for the window and the console.
    std::string linkSummary() const;
    const EscrowEpisode& escrowEpisode() const { return episode_; }
    int startupCountdown() const { return startupCountdown_; }
    void restartStartupReads() { startupCountdown_ = kStartupReads; }
    void setStartupCountdown(int ticks) { startupCountdown_ = ticks; }
    void setReportCountdown(int ticks) { reportCountdown_ = ticks; }
    int reportCountdown() const { return reportCountdown_; }
    // Told of each data reply: its code, the diagnostics selector the command
    // went out with, and whether its data were stored (false: the reply was too
    // short for them and the store kept what it held). The report waits on these.
    void setReplyObserver(std::function<void(uint8_t code, uint8_t selector, bool stored)> observer) {
        replyObserver_ = std::move(observer);
    }
    // Said by a reply's store when the reply cannot hold its data: nothing of it was stored.
    void replyUnusable() { replyUnusable_ = true; }
    uint8_t diagnosticsSelector() const { return diagnosticsSelector_; }
    void setDiagnosticsSelector(uint8_t s) { diagnosticsSelector_ = s; }
    uint8_t sentDiagnosticsSelector() const { return sentDiagnosticsSelector_; }
    void noteDiagnosticsSent(uint8_t selector) { sentDiagnosticsSelector_ = selector; }
    bool diagnosticsAvailable() const { return diagnosticsAvailable_; }
    void setDiagnosticsAvailable(bool on) { diagnosticsAvailable_ = on; }

    // A VLA run the VLA page started; the status decoding sees it end.
    void setVlaRunning(bool on) { vlaRunning_ = on; }
    bool vlaRunning() const { return vlaRunning_; }

    // A bill type's value, -1 while the bill table does not give it.
    int64_t knownValue(int type) const { return valueKnown(type) ? stores_.bills.value(type) : -1; }

    // The unit's life count was read: a bill it stacked whose report the line
    // lost shows here, and is reported and credited then.
    void lifeCountRead();
    // The owner decides the bill in escrow (EscrowAccept or EscrowReturn) in
    // place of the escrow settings; false when no bill is held or it is decided.
    // The decision goes out once the bill can be decided (its table and the
    // unit's count known), as the settings' would.
    bool decideEscrow(uint8_t code);
    // The unit's count as the host expects it now; -1 while it is not known.
    int64_t expectedLifeCount() const { return lifeCountKnown_ ? int64_t{expectedLifeCount_} : -1; }
    // A bill accepted by an earlier run of the host whose outcome it never saw:
    // the unit's count at the next connect settles it (risen from expectedCount:
    // stacked; not: returned; not carrying on: in doubt), or its stacked report
    // if the unit still has one to give.
    void carryUnsettled(int type, uint32_t expectedCount);

    // Sessions that act on the status decoding.
    void addStatusListener(StatusListener* listener);
    void removeStatusListener(StatusListener* listener);
    // Tells the listeners (the command builders tell of escrow frames sent).
    void tellMoney(MoneyEvent event);
    void tellLink(const std::string& notice);
    // Adds a line to the event list and tells the listeners of it.
    void addEvent(const std::string& text);

    Stores& stores() { return stores_; }
    const Stores& stores() const { return stores_; }
    CommBlock& block() { return block_; }
    UserInterface& ui() { return ui_; }

  private:
    // Sending.
    void afterBuild(uint8_t code);
    void markAwaiting(uint8_t code, bool awaits);
    bool buildStatusRequest();
    void pollNow();
    bool answersHost(const Reply& r) const;
    bool askedFor(uint8_t code, const CommandRow& row) const;
    void updateLinkState();
    void showLinkState();
    void countTick(int64_t now);
    bool replyArriving(int64_t now) const;
    void checkReplyWaits(int64_t now);
    void replyMissing(uint8_t code);
    void giveUp(uint8_t code);
    void forgetUnit();
    void requestBillTable();
    bool billTableRead(uint8_t code) const;
    int64_t nowMs() const;
    // A read that a countdown asks for when it stands at a given value.
    struct TimedRead;
    void requestTimedReads(std::span<const TimedRead> table, int countdown);
    static const TimedRead kStartupReadTable[];
    static const TimedRead kReportReadTable[];
    void checkLostPort();
    void checkOutputFlow();
    void scanRequests();

    // Receiving.
    void onReplyReady();
    void rejectFrame(const char* why);
    void dispatch(const Reply& r);
    void decodeStatus(const Reply& r);
    void decideEscrow(int type, int64_t value);
    void resendDecision();
    void endEpisode(bool stacked);
    void billStacked(int type);
    void credit(int type);
    void reportDeferred();
    void stackedUnseen(int type);
    void inDoubt(int type, const char* reason, int64_t unitCount, int64_t expectedCount);
    void requestDiagnostics(uint8_t selector);
    std::string billName(int type) const;
    bool valueKnown(int type) const;

    CommBlock& block_;
    Stores& stores_;
    UserInterface& ui_;
    const PortMap& ports_;
    std::function<void(Notification)> transferHandler_;
    std::vector<StatusListener*> listeners_;
    std::function<void(uint8_t, uint8_t, bool)> replyObserver_;
    bool replyUnusable_ = false;

    std::function<int64_t()> clock_;
    std::array<RequestState, 256> requests_{};
    std::array<uint32_t, 256> repliesTaken_{};
    std::array<int64_t, 256> awaitSince_{};
    std::array<uint8_t, 256> retries_{};
    LinkCounters counters_;
    // Clears one linkflag bit and leaves the others.
    void clearFlag(uint8_t flag) { linkFlags_ &= ~flag; }
    uint8_t linkFlags_ = 0;
    uint8_t lastShownFlags_ = 0;
    int missedPollCount_ = 0;
    int pollInterval_ = 350;
    bool linkOpen_ = false;
    bool lineLent_ = false;
    int startupCountdown_ = kStartupReads;
    int reportCountdown_ = 0;
    int statsRefreshCountdown_ = 0;
    uint8_t diagnosticsSelector_ = kSensorSelector;
    uint8_t sentDiagnosticsSelector_ = kSensorSelector;
    bool diagnosticsAvailable_ = true;
    bool vlaRunning_ = false;
    int lowerPage_ = 0;
    int upperPage_ = 0;
    int comPortIndex_ = 0;
    std::string titleText_;
    std::string shownTitle_;
    uint8_t lastSentCode_ = 0;
    bool lostReported_ = false;
    bool stallReported_ = false;
    // Who the open line leads to (by-id name, USB serial number), so that a
    // replugged adapter is found again under a new /dev/ttyUSBn.
    PortIdentity unit_;
    bool answered_ = false;
    bool hadUnit_ = false;
    int64_t lastPollNowMs_ = -kPollNowSpacingMs;
    // A poll of the host's is on its way or waiting for its status, since pollSentMs_.
    bool pollInFlight_ = false;
    int64_t pollSentMs_ = 0;
    // The bill type the previous status reply showed stacked (-1: none): the same
    // type still showing stacked is the same bill, another type is another bill.
    int previousStackedType_ = -1;
    // A reply showed a bill on its way in (escrow, accepting, stacking) since the
    // last outcome. Without one, a stacked report of the type last stacked may be
    // that old report told again.
    bool billUnderWay_ = false;
    int lastStackedType_ = -1;
    // Such reports: credited only once the unit's count shows them, else
    // recorded in doubt.
    std::vector<int> unconfirmedStacked_;
    EscrowEpisode episode_;
    // Bills stacked before the bill table was known, reported once it is.
    std::vector<int> deferredStacked_;
    // The unit's life count as the host expects it from the bills reported
    // stacked, and accepted bills whose episode ended without a stacked report:
    // the unit's count decides whether they were stacked.
    bool lifeCountKnown_ = false;
    bool lifeCountAsked_ = false;
    // The link was lost and found again: the expected count is the last unit's,
    // taken on only if the next count read carries on from it.
    bool lifeCountCarried_ = false;
    // The count now asked for was asked before the open episode's bill could be
    // stacked (none open, or its accept not yet sent): the count leaves that bill out.
    bool countAskedBeforeAccept_ = false;
    // A count came while it could hold the bill under way: asked again once that bill is settled.
    bool countAgainAfterEpisode_ = false;
    int settleAttempts_ = 0;
    uint32_t expectedLifeCount_ = 0;
    // A bill carried over from an earlier run waits for the count read after the first status reply.
    bool carriedCountWanted_ = false;
    std::vector<int> unsettled_;
};

}  // namespace halvek
