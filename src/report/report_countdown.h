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

// The reads a report needs, and which of them the unit has answered. It starts
// the controller's report countdown once the start-up reads of a connection are
// through (the variant they tell decides how optics are decoded), asks itself
// for what the header needs and the stores do not hold yet, and for the video
// test result when that part is wanted. A read whose request ends without its
// reply, or that this firmware cannot answer, has failed.
//
// It owns no timer: call onTick() after each tick of the controller.
class ReportCountdown {
  public:
    static constexpr int kTicks = 11;
    // Ticks to wait for the start-up reads of a fresh connection to be through.
    static constexpr int kSettleLimit = 2 * kTicks;
    // Ticks after the countdown began by which every read has been answered or
    // given up: the countdown itself, then each read waiting its turn behind the
    // others for as long as the controller waits for a reply (a backstop: a read
    // given up is seen at once).
    static constexpr int kReadWaitTicks = 20;
    static constexpr int kTickLimit = kTicks + 5 * (kReadWaitTicks + 2);

    explicit ReportCountdown(LinkController& controller);
    ReportCountdown(const ReportCountdown&) = delete;
    ReportCountdown& operator=(const ReportCountdown&) = delete;

    void start();
    // The white-paper video test result is read too (the last one the unit holds).
    void wantVideo();
    void onTick();
    // Called whenever a read changes state.
    void setChangeHandler(std::function<void()> changed) { changed_ = std::move(changed); }

    bool started() const { return phase_ != Phase::Idle; }
    bool reading() const { return phase_ == Phase::Reading; }
    // The controller's countdown: 0 once all its reads have been asked for.
    int countdown() const;
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
        bool ownRequest;   // asked for here, not by the controller's countdown
        ReadState state = ReadState::Waiting;
        std::string failure;
    };
    void begin();
    void add(ReportPart part, uint8_t code, uint8_t selector, bool ownRequest);
    void ask(Read& read);
    void follow(Read& read);
    void onReply(uint8_t code, uint8_t selector, bool stored);
    void setState(Read& read, ReadState state, std::string failure = {});
    bool lineQuiet() const;
    bool diagnosticsReadPending() const;

    LinkController& controller_;
    std::function<void()> changed_;
    Phase phase_ = Phase::Idle;
    std::vector<Read> reads_;
    bool videoWanted_ = false;
    int ticks_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace halvek
