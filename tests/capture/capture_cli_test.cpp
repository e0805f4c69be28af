#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/capture.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CaptureCli : public ::testing::Test {
  protected:
    CaptureCli() : dir(fs::temp_directory_path() / ("halvek_capture_cli_" + std::to_string(::getpid()))) {
        fs::create_directories(dir);
    }
    ~CaptureCli() override { fs::remove_all(dir); }
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return cli::runCapture(args, out, err);
    }
    fs::path dir;
    std::ostringstream out, err;
};

TEST_F(CaptureCli, PollsTheSimulatorIntoTheCaptureFormat) {
    const fs::path file = dir / "q7.TXT";
    std::ofstream(file) << std::string(100000, 'x');  // an older, longer capture
    ASSERT_EQ(run({file.string(), "--simulate", "--q7", "--interval", "100", "--seconds", "2"}), 0) << err.str();
    const std::string content = readFile(file);
    EXPECT_EQ(content.find('x'), std::string::npos);
    // The standard-mode status request and its reply, on one line.
    EXPECT_TRUE(std::regex_search(
        content,
        std::regex(
            "T\\( \\d{8} ms\\)CMD\\[ 02 04 CC 2E \\]  :  T\\( \\d{8} ms\\)MSG\\[ 02 07 CC ([0-9A-F]{2} )+\\]\r\n")))
        << content.substr(0, 300);
    EXPECT_NE(out.str().find(std::to_string(content.size()) + " bytes written to " + file.string()), std::string::npos)
        << out.str();
}

TEST_F(CaptureCli, StopsAtTheLimitAndRefusesWhatItCannotOpen) {
    const fs::path file = dir / "small.TXT";
    ASSERT_EQ(run({file.string(), "--simulate", "--interval", "100", "--seconds", "20", "--limit", "300"}), 0)
        << err.str();
    EXPECT_NE(err.str().find("reached its limit"), std::string::npos) << err.str();
    const size_t size = fs::file_size(file);
    EXPECT_GE(size, 300u);
    EXPECT_LT(size, 300u + 200u);  // one line past the limit at most

    EXPECT_EQ(run({(dir / "no" / "such.TXT").string(), "--simulate", "--seconds", "1"}), 1);
    EXPECT_NE(err.str().find("cannot open " + (dir / "no" / "such.TXT").string() + ": No such file or directory"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(run({"--simulate"}), 2);

    // A device that is not there leaves an older capture as it was.
    const fs::path older = dir / "older.TXT";
    std::ofstream(older) << "older capture";
    EXPECT_EQ(run({older.string(), "--port", (dir / "nodevice").string(), "--seconds", "1"}), 1);
    EXPECT_EQ(readFile(older), "older capture");
}

// A FIFO whose reader stopped reading: the link goes on polling, the run ends
// at its time and says what was not written.
TEST_F(CaptureCli, AFifoNobodyReadsNeitherStallsTheLinkNorTheEnd) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ::fcntl(reader, F_SETPIPE_SZ, 4096);
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    const std::string block(4096, 'x');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    ::close(filler);
    EXPECT_EQ(run({fifo.string(), "--simulate", "--interval", "100", "--seconds", "2"}), 1);
    EXPECT_NE(err.str().find("writing " + fifo.string() + " failed: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("bytes were not written: the file takes no more"), std::string::npos) << err.str();
    ::close(reader);
}

}  // namespace
}  // namespace halvek
