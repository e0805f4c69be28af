#pragma once

#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace halvek::cli {

// One command of halvek-cli: its name, its line in the usage, and what runs it
// (the arguments after the name; the exit code back).
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// Every command, in the order the usage lists them.
std::span<const Command> commands();

}  // namespace halvek::cli
