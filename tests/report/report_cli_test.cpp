#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/report.h"
#include "link/link_controller.h"
#include "report_fixture.h"
#include "sim/sim_server.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int rc;
    std::string out, err;
};

CliRun report(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int rc = cli::runReport(args, out, err);
    return {rc, out.str(), err.str()};
}

struct TempDir {
    TempDir() {
        char name[] = "/tmp/halvek-cli-report-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

const std::string kStars = std::string(77, '*') + "\r\n";

bool everyLineEndsInCrLf(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) return false;
    return !s.empty() && s.back() == '\n';
}

TEST(ReportCli, WritesTheSimulatedUnitsReportAndSaysWhere) {
    TempDir dir;
    const std::string file = (dir.path / "r.TXT").string();
    const CliRun r = report({file, "--simulate", "--serial", "123", "--interval", "100"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "Log File Created at " + file + " \n");
    const std::string bytes = test::fileBytes(file);
    EXPECT_EQ(bytes.substr(0, 2 * kStars.size()),
              kStars + "************************* L8V diagnostics file ******************************\r\n");
    EXPECT_NE(bytes.find("\r\n          Unit Ser. Num.: 123\r\n          Program Rev...: L8VQA034\r\n"),
              std::string::npos);
    // What the unit answered, not what the stores held before.
    EXPECT_NE(bytes.find("\r\n Sidelook\t 153      100      101      open\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n Red     1B0   190   180   1A0   1C0   ;    164   14C   140   158   170\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.find("PART IV"), std::string::npos);
    EXPECT_TRUE(everyLineEndsInCrLf(bytes));
}

TEST(ReportCli, AFolderGetsTheProposedNameAndOnlyTheChosenParts) {
    TempDir dir;
    const CliRun r =
        report({dir.path.string(), "--simulate", "--serial", "77", "--parts", "sensors,video", "--interval", "100"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string bytes = test::fileBytes(dir.path / "L8V_77.TXT");
    EXPECT_EQ(bytes.substr(0, kStars.size() + 26), kStars + "  PART II - SENSORS DATA\r\n");
    EXPECT_EQ(bytes.find("PART I -"), std::string::npos);
    EXPECT_EQ(bytes.find("PART III"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n Red     080   080   080   080   080   ;    000   220   220   220   000\r\n"),
              std::string::npos);

    // The statistics alone still read the variant, which names and titles the file.
    const CliRun stats = report({dir.path.string(), "--simulate", "--serial", "78", "--parts", "stats"});
    ASSERT_EQ(stats.rc, 0) << stats.err;
    EXPECT_EQ(test::fileBytes(dir.path / "L8V_78.TXT").substr(0, 2 * kStars.size()),
              kStars + "************************* L8V diagnostics file ******************************\r\n");
}

// A read the link gives up (every frame of it lost once) is asked again, as
// every console command does, instead of failing the report.
TEST(ReportCli, AReadTheLinkGaveUpIsAskedAgain) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("drop DD " + std::to_string(LinkController::kMaxRetries + 1)), "");
    TempDir dir;
    const std::string file = (dir.path / "r.TXT").string();
    const CliRun r = report({file, "--port", sim.devicePath(), "--parts", "stats", "--interval", "100"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(test::fileBytes(file).find("PART I -"), std::string::npos);
}

TEST(ReportCli, FailsWithTheReasonAndWritesNothing) {
    TempDir dir;
    // A unit that never answers.
    test::PtyPair silent;
    const std::string file = (dir.path / "r.TXT").string();
    CliRun r = report({file, "--port", silent.slavePath(), "--interval", "100"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "halvek-cli report: the unit on " + silent.slavePath() + " did not answer; no report written\n");
    EXPECT_FALSE(fs::exists(file));

    // A file that cannot be created.
    std::ofstream(dir.path / "plain") << "x";
    const std::string blocked = (dir.path / "plain" / "r.TXT").string();
    r = report({blocked, "--simulate", "--interval", "100"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "halvek-cli report: cannot create " + blocked + ": Not a directory\n");
    EXPECT_EQ(r.out, "");

    // A file its owner made read-only is refused, as cp would, and kept as it was.
    const fs::path kept = dir.path / "kept.TXT";
    std::ofstream(kept) << "older report";
    fs::permissions(kept, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    r = report({kept.string(), "--simulate", "--interval", "100"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "halvek-cli report: cannot write " + kept.string() + ": it is read-only; no report written\n");
    EXPECT_EQ(test::fileBytes(kept), "older report");

    // Short frames cannot hold the optics data: the unit's short reply is not
    // written as if it were its data.
    r = report({file, "--simulate", "--q7", "--parts", "optics", "--interval", "100"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err,
              "halvek-cli report: Main Optics Data: the unit's reply to \"read diagn.(1)\" was too short for its "
              "data; no report written\n");
    EXPECT_FALSE(fs::exists(file));

    // A device that is not there.
    r = report({file, "--port", "/dev/halvek-missing"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("/dev/halvek-missing"), std::string::npos);
}

TEST(ReportCli, ABadCommandLineIsRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"r.TXT"},
        {"r.TXT", "--simulate", "--port", "/dev/ttyS0"},
        {"r.TXT", "--simulate", "--parts", "stats,foo"},
        {"r.TXT", "--simulate", "--parts", ""},
        {"r.TXT", "--simulate", "--serial", "1234567890123"},
        {"r.TXT", "--simulate", "--serial"},
        {"r.TXT", "s.TXT", "--simulate"},
        {"r.TXT", "--simulate", "--interval", "50"},
        {"r.TXT", "--simulate", "--colour"},
    };
    for (const auto& args : bad) {
        const CliRun r = report(args);
        EXPECT_EQ(r.rc, 2) << (args.empty() ? "" : args.back());
        EXPECT_NE(r.err.find("usage: halvek-cli report FILE"), std::string::npos);
    }
}

}  // namespace
}  // namespace halvek
