#include "download.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/cli_link.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "firmware/download_session.h"
#include "firmware/firmware_file.h"
#include "firmware/link_access.h"
#include "firmware/program_check.h"

namespace halvek::cli {

using Clock = std::chrono::steady_clock;

std::string hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

bool isTerminal(std::ostream& out) { return &out == &std::cout && ::isatty(STDOUT_FILENO); }

bool LineOptions::parse(const std::vector<std::string>& args, size_t& i, std::string& complaint) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    const std::string* v = nullptr;
    if (a == "--port") {
        if (!(v = value())) return complaint = "--port needs a device path", false;
        port = *v;
    } else if (a == "--com") {
        char* end = nullptr;
        if (!(v = value()) || (com = std::strtol(v->c_str(), &end, 10), !end || *end || com < 1 || com > 99))
            return complaint = "--com needs a number 1 to 99", false;
    } else if (a == "--simulate") {
        simulate = true;
    } else if (a == "--scenario") {
        if (!(v = value())) return complaint = "--scenario needs a command", false;
        scenario.push_back(*v);
    } else if (a == "--q7") {
        extended = false;
    } else if (a == "--q7e") {
        extended = true;
    } else if (a == "--dry-run") {
        dryRun = true;
    } else if (!a.empty() && a[0] != '-' && file.empty()) {
        file = a;
    } else {
        return complaint = "bad option " + a, false;
    }
    return true;
}

bool LineOptions::complete(std::string& complaint) const {
    if (file.empty()) return complaint = "give the firmware FILE", false;
    if (!scenario.empty() && !simulate) return complaint = "--scenario works only with --simulate", false;
    if ((port.empty() ? 0 : 1) + (com ? 1 : 0) + (simulate ? 1 : 0) != 1 &&
        !(dryRun && !simulate && port.empty() && !com))
        return complaint = "give exactly one of --port, --com and --simulate", false;
    return true;
}

Answer ConsoleUi::showMessage(const Message& m) {
    out_ << "message: " << shownMessage(m) << std::endl;
    return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void Progress::show(uint32_t done, uint32_t total) {
    if (total == 0) return;
    const auto now = Clock::now();
    const double secs = std::chrono::duration<double>(now - start_).count();
    const double rate = secs > 0 ? done / secs : 0;
    const double left = rate > 0 ? (total - done) / rate : 0;
    char tail[96];
    std::snprintf(tail, sizeof tail, "%u/%u %s  %.1f %s/s  %d:%02d left", done, total, unit_, rate, unit_,
                  static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    if (terminal_) {
        if (done != total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        const size_t width = 30;
        const size_t filled = size_t{std::min(done, total)} * width / total;  // never past the bar's end
        out_ << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << tail << "   "
             << std::flush;
        drawn_ = true;
        return;
    }
    const int tenth = static_cast<int>(static_cast<uint64_t>(done) * 10 / total);
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    out_ << "progress: " << tail << std::endl;
}

void Progress::end() {
    if (terminal_ && drawn_) out_ << "\n";
    drawn_ = false;
}

bool prepareLine(const LineOptions& o, ControllerHost& host, std::unique_ptr<sim::SimServer>& simulator,
                 std::ostream& err, const char* command) {
    std::string port = o.port;
    if (o.simulate) {
        simulator = std::make_unique<sim::SimServer>();
        std::string error;
        if (!simulator->start(&error)) {
            err << "halvek-cli " << command << ": " << error << "\n";
            return false;
        }
        if (std::getenv("HALVEK_SIM_LOG"))
            simulator->setLog([&err](const std::string& l) { err << "sim: " << l << std::endl; });
        for (const std::string& s : o.scenario) {
            const std::string complaint = simulator->execute(s);
            if (!complaint.empty()) {
                err << "halvek-cli " << command << ": scenario '" << s << "': " << complaint << "\n";
                return false;
            }
        }
        port = simulator->devicePath();
    }
    selectLine(host, port, o.com);
    host.controller.setExtendedMode(o.extended);
    return true;
}

bool probeUnit(ControllerHost& host, HeadlessLoop& loop, std::chrono::milliseconds limit) {
    if (!host.controller.connect()) return false;
    // Every poll counts as missed until its reply comes: once a poll has gone
    // out, a count of 0 means the unit answered.
    const auto start = Clock::now();
    const auto firstPoll = start + std::chrono::milliseconds(host.controller.pollInterval() + 50);
    while (Clock::now() < start + limit) {
        loop.runUntil(Clock::now() + std::chrono::milliseconds(20));
        if (Clock::now() > firstPoll && host.controller.missedPollCount() == 0) return true;
    }
    return false;
}

namespace {

const char* kUsage =
    "usage: halvek-cli download FILE (--port PATH | --com N | --simulate) [--dry-run] [--q7 | --q7e]\n"
    "                  [--scenario CMD]...\n"
    "  Checks the whole firmware file (header, block count, every record and its check), then\n"
    "  loads it through the unit's download loader. A unit that answers is told \"Download Firmware\"\n"
    "  first; one that does not is expected to be powered up in download mode.\n"
    "  --dry-run     only check the file (with --simulate: the whole transfer into the simulated loader)\n"
    "  --simulate    a simulated unit inside; --scenario passes it a command (e.g. \"refuse ack 1 after 5\")\n"
    "exit codes: 0 done, 1 failed or the program read back differs (the reason on stderr),\n"
    "2 bad command line (the usage on stderr)\n";

// The controller's flags as the download sees them: a unit that did not
// answer the probe is not taken for answering while its first polls are counted.
class ProbedLink : public LinkAccess {
  public:
    ProbedLink(LinkController& c, UserInterface& ui, bool answering) : LinkAccess(c, ui), answering_(answering) {}
    uint8_t linkFlags() const override {
        const uint8_t f = LinkAccess::linkFlags();
        return answering_ ? f : static_cast<uint8_t>(f & ~linkflag::Connected);
    }

  private:
    bool answering_;
};

class ConsoleDownload : public DownloadListener {
  public:
    ConsoleDownload(std::ostream& out, std::ostream& err, Progress& progress)
        : out_(out), err_(err), progress_(progress) {}
    void statusShown(DownloadStatus, const std::string&, const std::string&) override {}
    // Rate and time left count from the first block, not from DOWNLOAD: the
    // speed change, the erase and the header before it are no part of the rate.
    void blocksStarted() override { progress_.start(); }
    void connectedShown() override { out_ << "loader: connected" << std::endl; }
    void progressShown(uint32_t done, uint32_t total) override {
        if (done > 0) progress_.show(done, total);
    }
    // The loader's messages are its failures: said where failures go.
    void messageShown(const std::string& title, const std::string& text) override {
        progress_.end();
        err_ << "message: " << title << ": " << text << std::endl;
    }

  private:
    std::ostream& out_;
    std::ostream& err_;
    Progress& progress_;
};

// Runs the owner's loop: the controller's ticks and deliveries, and the
// session's 100 ms ticks, until done() holds or the limit passes.
template <class Tick, class Done>
bool runLoop(HeadlessLoop& loop, Tick tick, Done done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    auto next = Clock::now() + std::chrono::milliseconds(100);
    while (!done()) {
        if (Clock::now() >= end) return false;
        loop.runUntil(std::min(next, end));
        if (Clock::now() >= next) {
            next += std::chrono::milliseconds(100);
            tick();
        }
    }
    return true;
}

// Reads the unit's program checksum back ("Run CRC 32", then "Read CRC 32").
bool readProgramCrc(ControllerHost& host, HeadlessLoop& loop, uint32_t& crc) {
    ProgramCrcCheck check(host.controller);
    check.start();
    runLoop(
        loop, [&] { check.onTick(); }, [&] { return check.finished(); }, std::chrono::seconds(20));
    crc = check.crc32();
    return check.state() == ProgramCrcCheck::State::Done;
}

}  // namespace

int runDownload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LineOptions o;
    std::string complaint;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kUsage;
            return 0;
        }
        if (!o.parse(args, i, complaint)) {
            err << "halvek-cli download: " << complaint << "\n" << kUsage;
            return 2;
        }
    }
    if (!o.complete(complaint)) {
        err << "halvek-cli download: " << complaint << "\n" << kUsage;
        return 2;
    }

    // Nothing is sent before the whole file has passed.
    FirmwareFile file;
    const FirmwareFileFault fault = readFirmwareFile(o.file, file);
    if (!fault.ok) {
        err << "download failed: " << fault.message() << " (nothing was sent)" << std::endl;
        return 1;
    }
    out << "file: " << o.file << ", " << file.blockCount() << " blocks, CRC_32 " << hex8(file.crc32()) << std::endl;
    if (o.dryRun && !o.simulate) {
        out << "dry run: the file is sound; nothing was sent" << std::endl;
        return 0;
    }

    ConsoleUi ui(out);
    ControllerHost host(ui);
    HeadlessLoop loop(host);
    ui.attach(&loop);
    std::unique_ptr<sim::SimServer> simulator;
    if (!prepareLine(o, host, simulator, err, "download")) return 1;
    const std::string path = escapeForTerminal(host.controller.portPath());

    const bool answering = probeUnit(host, loop, std::chrono::milliseconds(1200));
    if (!(host.controller.linkFlags() & linkflag::PortOpen)) {
        err << "download failed: " << escapeForTerminal(host.block.port.lastError()) << std::endl;
        return 1;
    }
    out << (answering ? "unit answers: asking it to start its download loader"
                      : "unit does not answer: expecting it in download mode")
        << std::endl;

    Progress progress(out, isTerminal(out), "blocks");
    ConsoleDownload listener(out, err, progress);
    ProbedLink link(host.controller, ui, answering);
    SerialDownloadPort port(host.block, path);
    DownloadSession session(host.block, port, link, listener);
    host.controller.lendLine();
    host.controller.setTransferHandler([&session](Notification n) {
        if (n == Notification::TransferDone) session.onTransferDone();
    });
    session.open();
    session.chooseFile(o.file);
    const auto started = Clock::now();
    bool ok = runLoop(
        loop, [&] { session.onTick(); },
        [&] { return session.connected() || session.status() == DownloadStatus::Failed; }, std::chrono::seconds(30));
    if (!ok) {
        err << "download failed: the loader does not answer on " << path << std::endl;
        session.exit();
        return 1;
    }
    if (session.status() != DownloadStatus::Failed) session.download();
    ok = runLoop(
        loop, [&] { session.onTick(); },
        [&] {
            return session.status() == DownloadStatus::Finished || session.status() == DownloadStatus::Failed ||
                   !session.timerRunning();
        },
        std::chrono::hours(2));
    progress.end();
    if (const uint32_t stray = session.strayBytes())
        out << "note: " << stray << (stray == 1 ? " byte" : " bytes")
            << " the loader sent after its replies were dropped" << std::endl;
    const double secs = std::chrono::duration<double>(Clock::now() - started).count();
    if (session.status() != DownloadStatus::Finished) {
        err << "download failed: " << session.failure() << std::endl;
        session.exit();
        return 1;
    }
    session.exit();
    host.controller.setTransferHandler({});
    host.controller.returnLine();
    char summary[160];
    std::snprintf(summary, sizeof summary, "download done: %s, %u blocks in %.1f s", o.file.c_str(),
                  session.blocksTotal(), secs);
    std::string verdict;
    uint32_t unitCrc = 0;
    if (!session.unitWasAnswering()) {
        verdict = "not verified: the unit stays in its loader until it is powered up again";
    } else if (readProgramCrc(host, loop, unitCrc)) {
        verdict = file.matchesProgram(unitCrc)
                      ? "program CRC_32 " + hex8(unitCrc) + " verified"
                      : "program CRC_32 " + hex8(unitCrc) + " DIFFERENT from the file's " + hex8(file.crc32());
    } else {
        verdict = "not verified: the unit did not answer \"Read CRC 32\"";
    }
    host.close();
    const bool differs = verdict.find("DIFFERENT") != std::string::npos;
    (differs ? err : out) << summary << ", " << verdict << std::endl;
    return differs ? 1 : 0;
}

}  // namespace halvek::cli
