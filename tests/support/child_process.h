#pragma once

// What tests and benchmarks that run the programs as child processes share:
// starting one with its output where the caller wants it, and waiting on a
// condition with a bound instead of a sleep that hopes.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace halvek::test {

// Starts args[0] with standard output to /dev/null (or the descriptor `out`,
// when given), standard input from `in` when given, and standard error
// appended to errFile; -1 when it could not be started.
pid_t spawnProcess(const std::vector<std::string>& args, const std::string& errFile, int in = -1, int out = -1);

// Looks at `done` every few milliseconds until it holds (true) or the limit
// has passed (false).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace halvek::test
