#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link_controller.h"
#include "report/report_options.h"

namespace halvek {

// Where one of the report's reads stands.
enum class ReadState { Waiting, Asked, Answered, Failed };

// The reads a report needs, and which of them the unit has answered. Once the
// unit answers and the start-up reads of a connection are through, it asks for
// each read itself, once, one after the other: the revision when it is not
// known yet (it tells whether the unit has diagnostics at all), the sensor read
// (it tells the unit's variant, which names the file, titles it and decides how
// the optics are decoded, so every part waits for it), then the reads of the
// chosen parts. The next read is asked as soon as the reply before it is in. A
// read whose request ends without its reply, or that this firmware cannot
// answer, has failed.
//
// It owns no timer: call onTick() after each tick of the controller.
class ReportCountdown {
  public:
    // Ticks to wait for the start-up reads of a fresh connection to be through.
    static constexpr int kSettleLimit = 22;
    // Ticks after the reads began by which every read has been answered or given
    // up: each read waiting its turn behind the others for as long as the
    // controller waits for a reply (a backstop: a read given up is seen at once).
    static constexpr int kReadWaitTicks = 20;
    static constexpr int kMostReads = 6;
    static constexpr int kTickLimit = kMostReads * (kReadWaitTicks + 2);

    explicit ReportCountdown(LinkController& controller);
    ReportCountdown(const ReportCountdown&) = delete;
    ReportCountdown& operator=(const ReportCountdown&) = delete;

    void start();
    // The parts chosen: their reads are asked (once) if they were not already.
    void wantParts(const ReportOptions& options);
    void onTick();
    // Called whenever a read changes state.
    void setChangeHandler(std::function<void()> changed) { changed_ = std::move(changed); }

    bool started() const { return phase_ != Phase::Idle; }
    bool reading() const { return phase_ == Phase::Reading; }
    // Reads asked for or still to ask, not yet answered.
    int readsLeft() const;
    // A read has been asked for and nothing else awaits the line: an owner that
    // may tick the controller now, rather than at its next tick, sends it now.
    bool readReadyToSend() const;
    // Where the reads of one part stand taken together: Failed if any failed,
    // Answered once all were answered.
    ReadState state(ReportPart part) const;
    // Why a part cannot be read ("" unless its state is Failed).
    std::string failure(ReportPart part) const;

  private:
    enum class Phase { Idle, WaitingForStartup, Reading };
    struct Read {
        ReportPart part;
        uint8_t code;
        uint8_t selector;  // diagnostics selector; 0 for other commands
        // Every part waits for it: the revision and the variant.
        bool forEveryPart;
        ReadState state = ReadState::Waiting;
        std::string failure;
        bool unavailable = false;  // this firmware has no such read
    };
    void begin();
    void addPartReads(ReportPart part);
    void add(ReportPart part, uint8_t code, uint8_t selector, bool forEveryPart = false);
    void askNext();
    void ask(Read& read);
    void follow(Read& read);
    void onReply(uint8_t code, uint8_t selector, bool stored);
    void setState(Read& read, ReadState state, std::string failure = {});
    bool lineQuiet() const;
    bool counts(const Read& read, ReportPart part) const;

    LinkController& controller_;
    std::function<void()> changed_;
    Phase phase_ = Phase::Idle;
    std::vector<Read> reads_;
    bool wanted_[kReportParts] = {};
    int ticks_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace halvek
