// What the diagnostics report costs on the line: `halvek-cli report` against
// the simulated validator with its replies paced at the line speed, beside a
// plain reader that sends each read the report needs once, in turn, and waits
// for its reply. Both are stated against the wire time of those reads (the
// first poll, then every read, command and reply, at 9600 8E1), with the
// commands the report sent, so that a read asked twice shows.
//   report_bench [INTERVAL_MS...]      (default: 100 350)
// Elapsed time over that wire time on the 2-core build machine (the plain
// reader: 0.89x for the statistics alone, 0.94x for the three default parts;
// below 1 as the simulator paces only its replies):
//   before: stats 3.39x at 100 ms, 5.75x at 350 ms; stats,sensors,optics 2.22x and 5.54x,
//           sending the revision, the statistics, both diagnostics reads twice and the
//           start-up reads (bill enables, security levels, set-up) besides
//   after:  0.90x and 0.94x at either interval, each read once
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/report.h"
#include "link/link_controller.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "sim/sim_server.h"

namespace {

using namespace halvek;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr double kByteMs = 11.0 * 1000.0 / 9600.0;  // 9600 baud, 8E1

struct Read {
    uint8_t code;
    Bytes data;
};

// The reads a report of these parts needs from a unit just connected: the
// first poll finds it, the revision tells whether it has diagnostics, the
// sensor read tells its variant (the file's name and title).
std::vector<Read> neededReads(const std::string& parts) {
    std::vector<Read> r = {{cmd::Status, {}}, {cmd::ReadProgRev, {}}, {cmd::ReadDiagn0, {kSensorSelector}}};
    if (parts.find("stats") != std::string::npos) {
        r.push_back({cmd::ReadStats, {}});
        r.push_back({cmd::ReadCreditTable, {0x01}});
    }
    if (parts.find("optics") != std::string::npos) r.push_back({cmd::ReadDiagn1, {}});
    if (parts.find("video") != std::string::npos) r.push_back({cmd::ReadDiagn0, {kVideoSelector}});
    return r;
}

bool startSim(sim::SimServer& sim, std::map<std::string, int>* commands, std::mutex* m) {
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "report_bench: simulator: %s\n", error.c_str());
        return false;
    }
    sim.setWireTime(true);
    if (commands)
        sim.setLog([commands, m](const std::string& line) {
            // "<- Q7E D8 read prog.rev.": the command's name after its code.
            const size_t arrow = line.find("<- ");
            if (arrow == std::string::npos) return;
            const size_t name = line.find(' ', line.find(' ', arrow + 3) + 1);
            if (name == std::string::npos) return;
            const std::string command = line.substr(name + 1);
            if (command == "status") return;  // the polls go on beside the reads
            std::lock_guard lock(*m);
            ++(*commands)[command];
        });
    return true;
}

int openLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= PARENB | CLOCAL | CREAD;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

// One exchange: the frame out, its reply in whole. The bytes of both, or 0 when no reply came.
size_t roundTrip(int fd, const Bytes& frame) {
    if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return 0;
    Bytes in;
    size_t want = 0;
    while (want == 0 || in.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return 0;
        uint8_t buf[2048];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return 0;
        in.insert(in.end(), buf, buf + n);
        if (want == 0 && in.size() >= 4) want = frameLength(in.data(), true);
    }
    return frame.size() + want;
}

struct Sequential {
    double elapsedMs = 0, wireMs = 0;
};

bool sequential(const std::string& parts, Sequential& s) {
    sim::SimServer sim;
    if (!startSim(sim, nullptr, nullptr)) return false;
    const int fd = openLine(sim.devicePath());
    if (fd < 0) return false;
    const auto start = Clock::now();
    size_t bytes = 0;
    for (const Read& r : neededReads(parts)) {
        const size_t n = roundTrip(fd, encodeFrame(true, r.code, r.data));
        if (n == 0) {
            std::fprintf(stderr, "report_bench: no reply to %02X\n", r.code);
            ::close(fd);
            return false;
        }
        bytes += n;
    }
    s.elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    s.wireMs = static_cast<double>(bytes) * kByteMs;
    ::close(fd);
    sim.stop();
    return true;
}

bool report(const std::string& parts, int interval, double& elapsedMs, std::string& sent) {
    std::map<std::string, int> commands;
    std::mutex m;
    sim::SimServer sim;
    if (!startSim(sim, &commands, &m)) return false;
    const auto dir = std::filesystem::temp_directory_path() / ("halvek_report_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ostringstream out, err;
    const auto start = Clock::now();
    const int rc = cli::runReport({dir.string(), "--port", sim.devicePath(), "--parts", parts, "--interval",
                                   std::to_string(interval), "--serial", "1"},
                                  out, err);
    elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    sim.stop();
    std::filesystem::remove_all(dir);
    if (rc != 0) {
        std::fprintf(stderr, "report_bench: report failed: %s", err.str().c_str());
        return false;
    }
    std::lock_guard lock(m);
    for (const auto& [name, count] : commands) {
        if (!sent.empty()) sent += ", ";
        sent += name + (count > 1 ? " x" + std::to_string(count) : "");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> intervals;
    for (int i = 1; i < argc; ++i) intervals.push_back(std::atoi(argv[i]));
    if (intervals.empty()) intervals = {100, 350};
    for (const char* parts : {"stats", "stats,sensors,optics"}) {
        Sequential s;
        if (!sequential(parts, s)) return 1;
        std::printf("parts %-22s wire time of the reads needed %7.1f ms\n", parts, s.wireMs);
        std::printf("  plain sequential reader         %7.1f ms  %4.2fx\n", s.elapsedMs, s.elapsedMs / s.wireMs);
        for (int interval : intervals) {
            double elapsed = 0;
            std::string sent;
            if (!report(parts, interval, elapsed, sent)) return 1;
            std::printf("  halvek-cli report --interval %-4d %7.1f ms  %4.2fx  sent: %s\n", interval, elapsed,
                        elapsed / s.wireMs, sent.c_str());
        }
    }
    return 0;
}
