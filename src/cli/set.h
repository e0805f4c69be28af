#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli set KEY=VALUE...: turns set-up switches of the unit, then reads
// the set-up back and prints it. 0: the unit holds every switch as asked; 1:
// it does not, or it did not answer; 2: a bad command line.
int runSet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// halvek-cli set-rtc: sets the unit's clock to the PC's local time, reads it
// back and prints it. 0: the clock read back is within a second or two of the
// PC's; 1: it is not, the unit has no clock, or it did not answer.
int runSetRtc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
