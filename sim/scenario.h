#pragma once

#include <cstdint>
#include <span>
#include <sstream>
#include <string>

#include "sim_data.h"

namespace halvek::sim {

class ValidatorModel;

// The words after a scenario command's name.
class ScenarioArgs {
  public:
    explicit ScenarioArgs(std::istream& in) : in_(in) {}
    // The next word as a number: BASE 10 or 16; 0 takes decimal, or hex after "0x".
    bool number(int base, long& value);
    // As number(), and false when the value is outside LOW..HIGH.
    bool number(int base, long low, long high, long& value) {
        return number(base, value) && value >= low && value <= high;
    }
    bool word(std::string& w) { return static_cast<bool>(in_ >> w); }
    // All remaining words as hex bytes ("1B5D00" or "1B 5D 00"); false when odd or not hex.
    bool hexBytes(Bytes& bytes);
    bool atEnd();

  private:
    std::istream& in_;
};

// Runs one command on UNIT; returns "" when done, else what was wrong (its usage).
using ScenarioRun = std::string (*)(ValidatorModel& unit, ScenarioArgs& args, int64_t now);

// One scenario command. A new one is one row of the table in scenario.cpp,
// which also gives the help text.
struct ScenarioCommand {
    const char* name;
    const char* arguments;  // as the help shows them, "" for none
    const char* help;
    ScenarioRun run;
};

std::span<const ScenarioCommand> scenarioCommands();
// Runs one line ("insert 3", "# a comment", ""); "" on success, else the complaint.
std::string runScenario(ValidatorModel& unit, const std::string& line, int64_t now);
// One line per command: name, arguments, what it does.
const std::string& scenarioHelp();

}  // namespace halvek::sim
