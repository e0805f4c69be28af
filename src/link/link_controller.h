#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/reply.h"
#include "link/stores.h"
#include "link/user_interface.h"
#include "serial/comm_block.h"
#include "serial/notification.h"
#include "serial/port_map.h"

namespace halvek {

enum class RequestState : uint8_t { Idle = 0, Requested = 1, AwaitingReply = 2 };

namespace linkflag {
constexpr uint8_t PortOpen = 0x01, Connected = 0x02, TimerRunning = 0x04, ReaderStarted = 0x08;
}

// The host controller: on every tick it sends the one command a page asked
// for, or polls the validator; it tells whether the validator answers, runs
// the start-up reads after each (re)connection and hands every reply to its
// handler. It runs on the main thread only and owns no timer: its owner calls
// onTick() when the poll timer it was asked for fires.
class LinkController {
  public:
    static constexpr int kStartupReads = 12;
    static constexpr int kLostAfterMissedPolls = 10;
    // Ticks a command may wait for its reply before it is given up: long enough
    // for the longest reply at 9600 baud, short enough that a dead validator
    // is soon shown as disconnected.
    static constexpr int kReplyWaitTicks = 8;

    LinkController(CommBlock& block, Stores& stores, UserInterface& ui, const PortMap& ports);

    // CONNECT and EXIT.
    bool connect();
    void shutdown();

    void onTick();
    void onNotification(Notification n);
    // Forwarded notifications of the firmware tools (set while their windows exist).
    void setTransferHandler(std::function<void(Notification)> handler) { transferHandler_ = std::move(handler); }

    // Asking for commands.
    void request(uint8_t code);
    void clearRequest(uint8_t code) { requests_[code] = RequestState::Idle; }
    void requestSensorData();
    void requestStats();
    bool sendSimpleCommand(uint8_t code, bool expectsData);
    RequestState requestState(uint8_t code) const { return requests_[code]; }

    // The bill list and the Command-Status strip: refused with "No connection"
    // while not polling. enableAllBills touches only the types that have a value.
    bool enableAllBills(bool enable);
    bool toggleBill(int row);

    // The poll timer.
    void setPollInterval(int ms);
    int pollInterval() const { return pollInterval_; }
    void startTimer();
    void stopTimer();
    bool timerRunning() const { return timerRunning_; }
    void closeValidatorPort();

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

    // Pages.
    void selectPage(TabRow row, int index, bool moveTab = true);
    int lowerPage() const { return lowerPage_; }
    int upperPage() const { return upperPage_; }

    // The validator state number 0-7 of the current status bytes.
    int currentState() const;
    const std::string& titleText() const { return titleText_; }

    int missedPollCount() const { return missedPollCount_; }
    int startupCountdown() const { return startupCountdown_; }
    void restartStartupReads() { startupCountdown_ = kStartupReads; }
    void setStartupCountdown(int ticks) { startupCountdown_ = ticks; }
    void setReportCountdown(int ticks) { reportCountdown_ = ticks; }
    uint8_t diagnosticsSelector() const { return diagnosticsSelector_; }
    void setDiagnosticsSelector(uint8_t s) { diagnosticsSelector_ = s; }
    bool diagnosticsAvailable() const { return diagnosticsAvailable_; }

    // State other windows hold that the decoder looks at.
    void setPrinterOpen(bool open) { printerOpen_ = open; }
    bool printerOpen() const { return printerOpen_; }
    void setAcceptAllActive(bool on) { acceptAllActive_ = on; }
    void setDownloadWindowOpen(bool open) { downloadWindowOpen_ = open; }

    Stores& stores() { return stores_; }
    CommBlock& block() { return block_; }

  private:
    // Sending.
    bool build(uint8_t code);
    bool buildWithData(uint8_t code, std::span<const uint8_t> data, bool awaits, const std::string& name);
    void afterBuild(uint8_t code);
    void buildStatusRequest();
    bool hasBuilder(uint8_t code) const;
    void updateLinkState();
    // A read that a countdown asks for when it stands at a given value.
    struct TimedRead;
    void requestTimedReads(std::span<const TimedRead> table, int countdown);
    static const TimedRead kStartupReadTable[];
    static const TimedRead kReportReadTable[];
    void checkLostPort();

    // Receiving.
    void onReplyReady();
    void handleReply(uint8_t code, const Reply& r);
    void decodeStatus(const Reply& r);
    void addEvent(const std::string& text) { stores_.events.add(text); }
    void requestDiagnostics(uint8_t selector);
    std::string billName(int type) const;

    CommBlock& block_;
    Stores& stores_;
    UserInterface& ui_;
    const PortMap& ports_;
    std::function<void(Notification)> transferHandler_;

    std::array<RequestState, 256> requests_{};
    uint8_t linkFlags_ = 0;
    uint8_t lastShownFlags_ = 0;
    int missedPollCount_ = 0;
    int pollInterval_ = 350;
    bool timerRunning_ = false;
    bool linkOpen_ = false;
    int startupCountdown_ = kStartupReads;
    int reportCountdown_ = 0;
    int statsRefreshCountdown_ = 0;
    uint8_t diagnosticsSelector_ = 0xA0;
    uint8_t sentDiagnosticsSelector_ = 0xA0;
    bool diagnosticsAvailable_ = true;
    int lowerPage_ = 0;
    int upperPage_ = 0;
    int comPortIndex_ = 0;
    std::string titleText_;
    int awaitTicks_ = 0;
    uint8_t lastSentCode_ = 0;
    bool printerOpen_ = false;
    bool acceptAllActive_ = false;
    bool downloadWindowOpen_ = false;
    bool lostReported_ = false;
};

}  // namespace halvek
