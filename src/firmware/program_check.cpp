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

void ProgramCrcCheck::onTick() {
    ++ticks_;
    switch (state_) {
        case State::Connecting:
            // The port was opened afresh: any frame from the unit says it runs its program.
            if (controller_.unitAnswered()) {
                controller_.stores().crc.seed32 = 0;
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
}

}  // namespace halvek
