#include "firmware/program_check.h"

#include "protocol/catalogue.h"

namespace halvek {

void ProgramCrcCheck::start() {
    ticks_ = 0;
    attempts_ = 0;
    state_ = controller_.connect() ? State::Connecting : State::Failed;
}

void ProgramCrcCheck::read() {
    repliesBefore_ = controller_.repliesTaken(cmd::ReadCrc32);
    controller_.request(cmd::ReadCrc32);
    ++attempts_;
    ticks_ = 0;
    state_ = State::Reading;
}

void ProgramCrcCheck::restoreSeed() {
    if (!pageSeed_) return;
    controller_.stores().crc.seed32 = *pageSeed_;
    pageSeed_.reset();
}

void ProgramCrcCheck::onTick() {
    ++ticks_;
    switch (state_) {
        case State::Connecting:
            // The port was opened afresh: any frame from the unit says it runs its program.
            if (controller_.unitAnswered()) {
                uint32_t& seed = controller_.stores().crc.seed32;
                if (!pageSeed_) pageSeed_ = seed;
                seed = 0;
                controller_.request(cmd::RunCrc32);
                ticks_ = 0;
                state_ = State::Computing;
            } else if (ticks_ >= kAnswerTicks) {
                state_ = State::Failed;
            }
            break;
        case State::Computing:
            if (ticks_ >= kComputeTicks) read();
            break;
        case State::Reading:
            if (controller_.repliesTaken(cmd::ReadCrc32) != repliesBefore_) {
                crc_ = controller_.stores().crc.result32;
                state_ = State::Done;
            } else if (ticks_ >= kReplyTicks) {
                if (attempts_ >= kReadAttempts)
                    state_ = State::Failed;
                else
                    state_ = State::Computing, ticks_ = 0;
            }
            break;
        default:
            break;
    }
    // Built (or the check is over): the seed is the page's again.
    if (controller_.requestState(cmd::RunCrc32) == RequestState::Idle || finished()) restoreSeed();
}

}  // namespace halvek
