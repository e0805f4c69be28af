#include "report/report_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "report_fixture.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

struct TempDir {
    TempDir() {
        char name[] = "/tmp/halvek-report-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), {})); }
    fs::path path;
};

void putFile(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

TEST(ReportFile, WritesTheBytesAsTheyAreAndReplacesAnEarlierReport) {
    TempDir dir;
    const fs::path target = dir.path / "L8V_123.TXT";
    putFile(target, std::string(5000, 'x'));  // longer than the new report: nothing of it may remain
    const std::string bytes = "line one\r\nline\ttwo\r\n\r\n";
    const ReportFileResult r = writeReportFile(target, bytes);
    EXPECT_TRUE(r.written) << r.error;
    EXPECT_EQ(test::fileBytes(target), bytes);
    EXPECT_EQ(dir.entries(), 1u);  // nothing left beside it
}

TEST(ReportFile, AFailedWriteSaysWhichFileAndWhyAndLeavesNoHalfReport) {
    TempDir dir;
    const std::string bytes(4000, 'r');

    // A folder that cannot be written to, even by root: its "parent" is a regular file.
    putFile(dir.path / "plain", "not a folder");
    const std::string blocked = (dir.path / "plain" / "r.TXT").string();
    ReportFileResult r = writeReportFile(blocked, bytes);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.error, "cannot create " + blocked + ": Not a directory");

    // The disk fills up half way: the earlier report under the name stays whole.
    const fs::path target = dir.path / "r.TXT";
    putFile(target, "earlier report\r\n");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    r = writeReportFile(target.string(), bytes);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.error, "cannot write " + target.string() + ": File too large");
    EXPECT_EQ(test::fileBytes(target), "earlier report\r\n");
    EXPECT_EQ(dir.entries(), 2u);  // "plain" and the earlier report: no part file left

    // A read-only folder stops everyone but root.
    if (geteuid() != 0) {
        fs::create_directory(dir.path / "ro");
        fs::permissions(dir.path / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        r = writeReportFile((dir.path / "ro" / "r.TXT").string(), bytes);
        EXPECT_FALSE(r.written);
        EXPECT_NE(r.error.find("Permission denied"), std::string::npos);
        fs::permissions(dir.path / "ro", fs::perms::owner_all);
    }
}

}  // namespace
}  // namespace halvek
