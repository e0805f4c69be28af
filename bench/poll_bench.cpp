// What one poll costs the host, next to the plainest pollers there are: the
// console tool's polling (the host session, as `halvek-cli monitor` runs it)
// and a naive poller (write the status poll, read the reply, sleep the
// interval; in C++, and in Python as a kiosk programmer would write it) run
// side by side, each on a simulated validator of its own, for a fixed number
// of polls. Printed per poller: processor time per poll, context switches per
// second and system calls per poll (strace -c, when installed), and the ratios
// to the naive poller beside it. The host is measured on its own loop (one
// thread) and on the reader thread the window uses. Last, sixteen hosts (and
// sixteen Python pollers) run at once, as on a kiosk PC with sixteen units:
// their processor time together, as a share of one core.
//   poll_bench [POLLS] [INTERVAL_MS] [--no-wire-time] [--units N]
// Each poller runs in a child process and measures itself from the moment the
// parent says go (after its start-up reads), so neither start-up nor the
// simulators count.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/host_session.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "serial/frame_layout.h"
#include "sim/sim_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Usage {
    double cpu = 0;
    long switches = 0;
};

Usage usageNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return {s(u.ru_utime) + s(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw};
}

// Child side: says it is ready on stdout, waits for the go on stdin.
void readyAndWait() {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char go = 0;
    if (::read(0, &go, 1) != 1) _exit(1);
}

void report(const Usage& a, const Usage& b, int polls, Clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%.9f %ld %d %.6f\n", b.cpu - a.cpu, b.switches - a.switches, polls, elapsed);
    std::fflush(stdout);
}

int runHost(const std::string& path, int polls, int interval, bool readerThread) {
    std::ostringstream quiet;
    halvek::HostSession::LoopFactory factory;
    if (readerThread) factory = [](halvek::ControllerHost& h) { return std::make_unique<halvek::HeadlessLoop>(h); };
    halvek::HostSession session("poll_bench", quiet, factory);
    halvek::LinkOptions o;
    o.port = path;
    o.interval = interval;
    if (!session.open(o) || !session.waitForStartup()) {
        std::cerr << "poll_bench: host: " << quiet.str();
        return 1;
    }
    readyAndWait();
    int ticks = 0;
    halvek::RunHooks hooks;
    hooks.afterTick = [&ticks] { ++ticks; };
    const Usage a = usageNow();
    const auto start = Clock::now();
    session.runFor([&] { return ticks >= polls; }, std::chrono::hours(1), hooks);
    report(a, usageNow(), ticks, start);
    session.close();
    return 0;
}

std::vector<uint8_t> pollFrame() { return halvek::encodeFrame(true, halvek::cmd::Status, {}); }

std::string pollFrameHex() {
    std::string hex;
    char two[3];
    for (uint8_t b : pollFrame()) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

// The plainest poller: blocking reads until the reply is whole, then a sleep.
int runNaive(const std::string& path, int polls, int interval) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;  // a reply that does not come ends the read after 0.5 s
    tcsetattr(fd, TCSANOW, &t);
    const std::vector<uint8_t> poll = pollFrame();
    readyAndWait();
    const Usage a = usageNow();
    const auto start = Clock::now();
    auto next = start;
    uint8_t reply[512];
    for (int i = 0; i < polls; ++i) {
        if (::write(fd, poll.data(), poll.size()) != static_cast<ssize_t>(poll.size())) return 1;
        size_t got = 0, want = halvek::lengthFieldEnd(true);
        while (got < want) {
            const ssize_t r = ::read(fd, reply + got, sizeof reply - got);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
            if (got >= halvek::lengthFieldEnd(true)) want = halvek::announcedLength(reply, true);
            if (want > sizeof reply) break;
        }
        next += std::chrono::milliseconds(interval);
        std::this_thread::sleep_until(next);
    }
    report(a, usageNow(), polls, start);
    ::close(fd);
    return 0;
}

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // its stdout
    int go = -1;          // its stdin
};

// The Python pollers: python3 (and pyserial) and the script beside this program's sources.
// The system's Python, where Debian's python3-serial goes, before any other on the path.
const char* pythonProgram() { return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }
bool pythonHas(const char* module) {
    return std::system((std::string(pythonProgram()) + " -c 'import " + module + "' >/dev/null 2>&1").c_str()) == 0;
}
bool havePython() { return pythonHas("termios"); }
bool havePyserial() { return pythonHas("serial"); }

Child spawn(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) std::exit(1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        if (args[2].starts_with("python")) {  // python, python-pyserial
            const std::string frame = pollFrameHex();
            std::vector<const char*> python = {pythonProgram(), HALVEK_NAIVE_POLLER};
            if (args[2] == "python-pyserial") python.push_back("--pyserial");
            python.insert(python.end(), {argv[3], argv[4], argv[5], frame.c_str()});
            python.push_back(nullptr);
            execvp(python[0], const_cast<char* const*>(python.data()));
        } else {
            execv("/proc/self/exe", argv.data());
        }
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    c.go = in[1];
    c.out = fdopen(out[0], "r");
    return c;
}

bool awaitReady(Child& c) {
    char line[64] = {};
    return std::fgets(line, sizeof line, c.out) && std::strncmp(line, "ready", 5) == 0;
}

struct Result {
    double cpuPerPollUs = 0;
    double switchesPerSecond = 0;
    double callsPerPoll = -1;  // -1: not measured
};

Result finish(Child& c) {
    Result r;
    double cpu = 0, elapsed = 0;
    long switches = 0;
    int polls = 0;
    if (std::fscanf(c.out, "%lf %ld %d %lf", &cpu, &switches, &polls, &elapsed) == 4 && polls > 0) {
        r.cpuPerPollUs = cpu * 1e6 / polls;
        r.switchesPerSecond = static_cast<double>(switches) / elapsed;
    }
    waitpid(c.pid, nullptr, 0);
    fclose(c.out);
    close(c.go);
    return r;
}

struct Sim {
    halvek::sim::SimServer server;
    explicit Sim(bool wireTime) {
        std::string error;
        if (!server.start(&error)) {
            std::fprintf(stderr, "poll_bench: simulator: %s\n", error.c_str());
            std::exit(1);
        }
        server.setWireTime(wireTime);
        server.setBillEvery(0);
    }
};

std::vector<std::string> roleArgs(const std::string& role, const std::string& path, int polls, int interval) {
    return {"poll_bench", "--role", role, path, std::to_string(polls), std::to_string(interval)};
}

// Both pollers at once, each on its own simulator: host first, naive second.
std::pair<Result, Result> sideBySide(const std::string& hostRole, const std::string& naiveRole, int polls, int interval,
                                     bool wireTime) {
    Sim a(wireTime), b(wireTime);
    Child host = spawn(roleArgs(hostRole, a.server.devicePath(), polls, interval));
    Child naive = spawn(roleArgs(naiveRole, b.server.devicePath(), polls, interval));
    if (!awaitReady(host) || !awaitReady(naive)) {
        std::fprintf(stderr, "poll_bench: a poller did not start\n");
        std::exit(1);
    }
    (void)!::write(host.go, "g", 1);
    (void)!::write(naive.go, "g", 1);
    return {finish(host), finish(naive)};
}

// Many pollers of one kind at once, each on its own simulator: their processor
// time together as a share of one core over the run.
double together(const std::string& role, int units, int polls, int interval, bool wireTime) {
    std::vector<std::unique_ptr<Sim>> sims;
    std::vector<Child> children;
    for (int i = 0; i < units; ++i) {
        sims.push_back(std::make_unique<Sim>(wireTime));
        children.push_back(spawn(roleArgs(role, sims.back()->server.devicePath(), polls, interval)));
    }
    for (Child& c : children)
        if (!awaitReady(c)) {
            std::fprintf(stderr, "poll_bench: a poller did not start\n");
            std::exit(1);
        }
    for (Child& c : children) (void)!::write(c.go, "g", 1);
    double share = 0;
    const double seconds = static_cast<double>(polls) * interval / 1000.0;
    for (Child& c : children) share += finish(c).cpuPerPollUs * polls / 1e6 / seconds;
    return share * 100;
}

// Every thread of the process has a tracer.
bool allTraced(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::unique_ptr<DIR, int (*)(DIR*)> tasks(opendir(dir.c_str()), closedir);
    if (!tasks) return false;
    int threads = 0;
    while (dirent* e = readdir(tasks.get())) {
        if (e->d_name[0] == '.') continue;
        ++threads;
        std::ifstream status(dir + "/" + e->d_name + "/status");
        std::string key;
        long tracer = 0;
        while (status >> key)
            if (key == "TracerPid:") {
                status >> tracer;
                break;
            }
        if (tracer == 0) return false;
    }
    return threads > 0;
}

bool haveStrace() { return std::system("strace -V >/dev/null 2>&1") == 0; }

// System calls per poll of one poller alone: strace attaches to all its
// threads once it is ready, and counts until it exits.
double callsPerPoll(const std::string& role, int polls, int interval, bool wireTime) {
    Sim sim(wireTime);
    Child c = spawn(roleArgs(role, sim.server.devicePath(), polls, interval));
    if (!awaitReady(c)) return -1;
    const std::string file = "/tmp/poll_bench_strace." + std::to_string(c.pid);
    const std::string attach = "strace -f -c -o " + file + " -p " + std::to_string(c.pid) + " 2>&1";
    FILE* strace = popen(attach.c_str(), "r");
    // The poller starts once strace holds every one of its threads.
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (!allTraced(c.pid) && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    (void)!::write(c.go, "g", 1);
    finish(c);
    char line[256];
    while (std::fgets(line, sizeof line, strace)) {
    }
    pclose(strace);
    std::ifstream in(file);
    std::string text, last;
    while (std::getline(in, text))
        if (text.find("total") != std::string::npos) last = text;
    std::remove(file.c_str());
    std::istringstream fields(last);
    std::string pct, secs, usecs;
    long calls = -1;
    fields >> pct >> secs >> usecs >> calls;
    return calls < 0 ? -1 : static_cast<double>(calls) / polls;
}

void printRow(const char* name, const Result& r, const Result* naive) {
    std::printf("%-30s %9.1f us %9.1f", name, r.cpuPerPollUs, r.switchesPerSecond);
    if (r.callsPerPoll >= 0)
        std::printf(" %9.1f", r.callsPerPoll);
    else
        std::printf(" %9s", "-");
    if (naive && naive->cpuPerPollUs > 0 && naive->switchesPerSecond > 0) {
        std::printf("   %5.2fx %5.2fx", r.cpuPerPollUs / naive->cpuPerPollUs,
                    r.switchesPerSecond / naive->switchesPerSecond);
        if (r.callsPerPoll >= 0 && naive->callsPerPoll > 0)
            std::printf(" %5.2fx", r.callsPerPoll / naive->callsPerPoll);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--role") == 0) {
        const std::string role = argv[2], path = argv[3];
        const int polls = std::atoi(argv[4]), interval = std::atoi(argv[5]);
        signal(SIGPIPE, SIG_IGN);
        if (role == "naive") return runNaive(path, polls, interval);
        return runHost(path, polls, interval, role == "thread");
    }
    int polls = 300, interval = 100, units = 16;
    bool wireTime = true;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-wire-time") == 0)
            wireTime = false;
        else if (std::strcmp(argv[i], "--units") == 0 && i + 1 < argc)
            units = std::atoi(argv[++i]);
        else
            numbers.push_back(std::atoi(argv[i]));
    }
    if (!numbers.empty()) polls = numbers[0];
    if (numbers.size() > 1) interval = numbers[1];
    if (polls <= 0 || interval <= 0 || units < 0) {
        std::fprintf(stderr, "usage: poll_bench [POLLS] [INTERVAL_MS] [--no-wire-time] [--units N]\n");
        return 2;
    }
    const bool python = havePython();
    std::printf("poll_bench: %d polls every %d ms, side by side on two simulated validators (wire time %s)\n", polls,
                interval, wireTime ? "on" : "off");
    // Each host beside the naive poller it is compared with.
    struct Pair {
        const char* naiveName;
        std::string naiveRole;
        const char* hostName;
        std::string hostRole;
        Result naive, host;
    };
    std::vector<Pair> pairs = {{"naive poller, C++", "naive", "host, one loop", "loop", {}, {}}};
    if (python) pairs.push_back({"naive poller, Python", "python", "host, one loop", "loop", {}, {}});
    if (python && havePyserial())
        pairs.push_back({"naive poller, Python+pyserial", "python-pyserial", "host, one loop", "loop", {}, {}});
    pairs.push_back({"naive poller, C++", "naive", "host, reader thread", "thread", {}, {}});
    for (Pair& p : pairs) std::tie(p.host, p.naive) = sideBySide(p.hostRole, p.naiveRole, polls, interval, wireTime);
    if (haveStrace()) {
        const int traced = std::min(polls, 200);
        std::map<std::string, double> calls;
        for (Pair& p : pairs)
            for (const std::string& role : {p.naiveRole, p.hostRole})
                if (!calls.count(role)) calls[role] = callsPerPoll(role, traced, interval, wireTime);
        for (Pair& p : pairs) {
            p.naive.callsPerPoll = calls[p.naiveRole];
            p.host.callsPerPoll = calls[p.hostRole];
        }
    }
    std::printf("%-30s %12s %9s %9s   ratios to the naive poller above it\n", "", "cpu/poll", "csw/s", "calls/poll");
    for (const Pair& p : pairs) {
        printRow(p.naiveName, p.naive, nullptr);
        printRow(p.hostName, p.host, &p.naive);
    }
    if (!haveStrace()) std::printf("system calls not measured: strace is not installed\n");
    if (!python) std::printf("the Python poller not run: python3 is not installed\n");
    if (units > 0) {
        std::printf("%d units at once, each on its own simulator: processor time together\n", units);
        std::printf("  hosts, one loop each        %6.2f %% of a core\n", together("loop", units, polls, interval, wireTime));
        if (python)
            std::printf("  naive pollers, Python       %6.2f %% of a core\n",
                        together("python", units, polls, interval, wireTime));
    }
    return 0;
}
