// What halvek-uplink costs a kiosk and how long a record takes to reach the
// fleet: one and sixteen uplinks against one local mosquitto (started here on
// a free port), each uplink reading a service socket of its own, and one
// subscriber on halvek/v1/#.
//   uplink_bench [RECORDS] [IDLE_SECONDS] [SAMPLES]
// RECORDS (default 2000) stacked records per kiosk measure the processor time
// per record; IDLE_SECONDS (default 10) of nothing to send the time per second
// idle; SAMPLES (default 200) single records, handed one at a time across the
// kiosks, the delay from the socket to the subscriber (median and p99).
// The service sockets are the test suite's stand-in of halvekd (the uplink
// cannot tell them apart): sixteen halvekd --simulate would each poll a
// simulated unit and take a bill a second at most, which would swamp a small
// machine with the simulators' own work and give too few records to measure.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "uplink/fleet_fixture.h"

namespace {

using namespace halvek::uplink::test;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Processor time the process has run, in nanoseconds (the uplink has one thread).
double cpuNs(pid_t pid) {
    std::ifstream sched("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    if (sched >> ns) return ns;
    // Without schedstat: user and system time from stat, in clock ticks.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::atof(field.c_str());
        if (i == 15) stime = std::atof(field.c_str());
    }
    return (utime + stime) * 1e9 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// "VmRSS" (now) or "VmHWM" (the peak) of the process, in KiB.
long memoryKiB(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

// What the subscriber saw, by kiosk; the arrival of the records whose hand-over was stamped.
class Arrivals {
  public:
    void arrived(const std::string& kiosk, uint64_t seq) {
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        seen_[kiosk].insert(seq);
        const auto it = handed_.find({kiosk, seq});
        if (it != handed_.end() && !delays_.count({kiosk, seq}))
            delays_[{kiosk, seq}] = std::chrono::duration<double, std::micro>(now - it->second).count();
    }
    void handed(const std::string& kiosk, uint64_t seq) {
        std::lock_guard lock(mutex_);
        handed_[{kiosk, seq}] = Clock::now();
    }
    size_t seen(const std::string& kiosk) {
        std::lock_guard lock(mutex_);
        return seen_[kiosk].size();
    }
    std::vector<double> delays() {
        std::lock_guard lock(mutex_);
        std::vector<double> out;
        for (const auto& [key, us] : delays_) out.push_back(us);
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    using Key = std::pair<std::string, uint64_t>;
    std::mutex mutex_;
    std::map<std::string, std::set<uint64_t>> seen_;
    std::map<Key, Clock::time_point> handed_;
    std::map<Key, double> delays_;
};

struct Row {
    int kiosks = 0;
    double cpuPerRecordUs = 0;
    double idleCpuUsPerSecond = 0;  // one uplink's
    long rssKiB = 0, hwmKiB = 0;    // the largest uplink's
    double medianMs = 0, p99Ms = 0;
    size_t samples = 0;
};

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

bool measure(int kiosks, int records, int idleSeconds, int samples, Row& row) {
    TempDir dir;
    const int port = freePort();
    // Sixteen kiosks' bursts at once go past mosquitto's default queue of a
    // thousand messages for one subscriber, and it would drop the rest.
    Broker broker(dir, port, "", "max_queued_messages 0\nmax_inflight_messages 0\n");
    broker.start();
    Arrivals arrivals;
    Subscriber sub(port, [&](const std::string& kiosk, uint64_t seq) { arrivals.arrived(kiosk, seq); });
    if (!waitUntil([&] { return sub.subscriptions() > 0; })) return false;

    std::vector<std::string> names;
    std::vector<std::unique_ptr<FakeService>> services;
    std::vector<std::unique_ptr<Process>> uplinks;
    for (size_t k = 0; k < static_cast<size_t>(kiosks); ++k) {
        names.push_back(std::string("k").append(std::to_string(k + 1)));
        services.push_back(std::make_unique<FakeService>(dir.file(names[k] + ".sock")));
        uplinks.push_back(std::make_unique<Process>());
        uplinks[k]->start(uplinkArgs(dir, services[k]->path(), port, {}, names[k]), dir.file(names[k] + ".log"));
    }
    auto cpuOfAll = [&] {
        double sum = 0;
        for (auto& u : uplinks) sum += cpuNs(u->pid());
        return sum;
    };
    // Every uplink on the broker and reading its service.
    if (!waitUntil([&] {
            for (auto& s : services)
                if (s->connections() == 0) return false;
            return true;
        }))
        return false;
    std::this_thread::sleep_for(1s);  // the start-up's publications settle before the idle time is taken

    const double idleFrom = cpuOfAll();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    row.idleCpuUsPerSecond = (cpuOfAll() - idleFrom) / 1e3 / idleSeconds / kiosks;

    const double busyFrom = cpuOfAll();
    for (auto& s : services) s->add(records);
    const bool all = waitUntil(
        [&] {
            for (const auto& n : names)
                if (arrivals.seen(n) < static_cast<size_t>(records)) return false;
            return true;
        },
        std::chrono::milliseconds(60000 + 50 * records * kiosks));
    if (!all) return false;
    row.cpuPerRecordUs = (cpuOfAll() - busyFrom) / 1e3 / (static_cast<double>(records) * kiosks);

    // One record at a time, to the kiosks in turn, 20 ms apart: the delay of a
    // record on its own, not of one queued behind a burst.
    for (int i = 0; i < samples; ++i) {
        const auto k = static_cast<size_t>(i % kiosks);
        arrivals.handed(names[k], static_cast<uint64_t>(records + 1 + i / kiosks));
        services[k]->add(1);
        std::this_thread::sleep_for(20ms);
    }
    waitUntil([&] { return arrivals.delays().size() >= static_cast<size_t>(samples); }, 60s);
    const std::vector<double> delays = arrivals.delays();
    row.samples = delays.size();
    row.medianMs = percentile(delays, 0.5) / 1e3;
    row.p99Ms = percentile(delays, 0.99) / 1e3;
    for (auto& u : uplinks) {
        row.rssKiB = std::max(row.rssKiB, memoryKiB(u->pid(), "VmRSS"));
        row.hwmKiB = std::max(row.hwmKiB, memoryKiB(u->pid(), "VmHWM"));
    }
    row.kiosks = kiosks;
    for (auto& u : uplinks) u->kill(SIGTERM);
    for (auto& u : uplinks) u->waitExit(10s);
    return true;
}

int number(int argc, char** argv, int at, int fallback) {
    return argc > at ? std::max(1, std::atoi(argv[at])) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int records = number(argc, argv, 1, 2000);
    const int idle = number(argc, argv, 2, 10);
    const int samples = number(argc, argv, 3, 200);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("halvek-uplink: %d records per kiosk, %d s idle, %d single records for the delay\n", records, idle,
                samples);
    std::printf("| kiosks | cpu/record | cpu idle (one uplink) | VmRSS | VmHWM | delay median | delay p99 |\n");
    std::printf("|-------:|-----------:|----------------------:|------:|------:|-------------:|----------:|\n");
    for (int kiosks : {1, 16}) {
        Row row;
        if (!measure(kiosks, records, idle, samples, row)) {
            std::fprintf(stderr, "uplink_bench: the run with %d kiosks did not finish; its logs are gone with it\n",
                         kiosks);
            return 1;
        }
        std::printf("| %6d | %7.1f us | %14.1f us/s | %3ld MiB | %3ld MiB | %9.2f ms | %6.2f ms |\n", row.kiosks,
                    row.cpuPerRecordUs, row.idleCpuUsPerSecond, row.rssKiB / 1024, row.hwmKiB / 1024, row.medianMs,
                    row.p99Ms);
        if (row.samples < static_cast<size_t>(samples))
            std::printf("  (only %zu of %d single records arrived)\n", row.samples, samples);
    }
    return 0;
}
