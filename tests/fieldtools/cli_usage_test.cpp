// Every halvek-cli command answers a bad command line alike: exit 2, what is
// wrong and the usage on standard error, nothing on standard output; and every
// --help lists the exit codes.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli/commands.h"

namespace halvek {
namespace {

struct Result {
    int status;
    std::string out, err;
};

Result run(const cli::Command& c, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = c.run(args, out, err);
    return {status, out.str(), err.str()};
}

const cli::Command* find(const std::string& name) {
    for (const cli::Command& c : cli::commands())
        if (name == c.name) return &c;
    return nullptr;
}

TEST(CliUsage, EveryCommandAnswersABadCommandLineAlike) {
    struct Case {
        const char* command;
        std::vector<std::string> args;
        std::string said;  // in the first line, after "halvek-cli COMMAND: "
    };
    const Case cases[] = {
        {"monitor", {"--simulate", "--seconds", "x"}, "--seconds needs a number from 0 to 100000000, not 'x'"},
        {"monitor", {"--simulate", "--journal"}, "--journal needs a FILE"},
        {"read", {"bills", "--com", "x"}, "--com needs a number from 1 to 99, not 'x'"},
        {"read", {"nothing", "--simulate"}, "no such data: nothing"},
        {"set", {"sides=3", "--simulate"}, "sides takes 2 or 1, not '3'"},
        {"set-rtc", {"--bogus"}, "bad option --bogus"},
        {"set-rtc", {}, "give exactly one of --port, --com and --simulate"},
        {"report", {"r.txt", "--parts", "x", "--simulate"}, "unknown part \"x\""},
        {"capture", {"--simulate"}, "name the capture file"},
        {"crc", {"f.L8F", "--algorithm", "md5"}, "--algorithm needs crc16, ccitt or crc32, not 'md5'"},
        {"crc", {"f.L8F", "--seed", "XYZ"}, "(--seed XYZ)"},
        {"download", {"--bogus"}, "bad option --bogus"},
        {"upload", {"f.L8F"}, "give exactly one of --port, --com and --simulate"},
        {"cassette", {"write-id", "0", "--simulate"}, "write-id needs a number from 1 to 4294967295, not '0'"},
        {"ticket", {"12a", "--printer", "/dev/null"}, "the ticket takes digits only, not '12a'"},
        {"ticket", {std::string(25, '1'), "--printer", "/dev/null"}, "at most 24 digits, not 25"},
        {"ports", {"--bogus"}, "bad option --bogus"},
        {"doctor", {"--com", "x"}, "--com needs a number from 1 to 99, not 'x'"},
        {"watch", {"--socket", "s", "--since", "x"}, "--since needs a record number, not 'x'"},
        {"watch", {}, "--socket PATH is needed"},
        {"decide", {"7", "keep", "--socket", "s"}, "bad argument keep"},
    };
    std::set<std::string> covered;
    for (const Case& c : cases) {
        const cli::Command* command = find(c.command);
        ASSERT_NE(command, nullptr) << c.command;
        covered.insert(c.command);
        const Result r = run(*command, c.args);
        const std::string name = std::string("halvek-cli ") + c.command;
        EXPECT_EQ(r.status, 2) << name << " " << r.err;
        EXPECT_EQ(r.out, "") << name;
        const std::string first = r.err.substr(0, r.err.find('\n'));
        EXPECT_EQ(first.rfind(name + ": ", 0), 0u) << first;
        EXPECT_NE(first.find(c.said), std::string::npos) << name << ": '" << c.said << "' not in: " << first;
        EXPECT_NE(r.err.find("\nusage: " + name + " "), std::string::npos) << name << " gives no usage:\n" << r.err;
    }
    for (const cli::Command& c : cli::commands()) EXPECT_TRUE(covered.count(c.name)) << c.name << " has no case";
}

TEST(CliUsage, EveryHelpListsTheExitCodes) {
    for (const cli::Command& c : cli::commands()) {
        const Result r = run(c, {"--help"});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        EXPECT_NE(r.out.find("\nexit codes: 0 "), std::string::npos) << c.name << ":\n" << r.out;
        EXPECT_NE(r.out.find("2 bad command line (the usage"), std::string::npos) << c.name << ":\n" << r.out;
    }
}

}  // namespace
}  // namespace halvek
