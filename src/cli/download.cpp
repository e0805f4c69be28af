#include "download.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "firmware/download_session.h"
#include "firmware/firmware_file.h"
#include "firmware/link_access.h"
#include "firmware/program_check.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"

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

bool prepareLine(const LineOptions& o, HostSession& session, std::ostream& out, std::ostream& err) {
    session.setMessageLine(out, "message");
    LinkOptions line;
    line.port = o.port;
    line.com = o.com;
    line.simulate = o.simulate;
    line.extended = o.extended;
    if (!session.startLine(line)) return false;
    sim::SimServer* simulator = session.simulator();
    if (!simulator) return true;
    if (std::getenv("HALVEK_SIM_LOG"))
        simulator->setLog([&err](const std::string& l) { err << "sim: " << l << std::endl; });
    for (const std::string& s : o.scenario) {
        const std::string complaint = simulator->execute(s);
        if (!complaint.empty()) {
            err << session.name() << ": scenario '" << s << "': " << complaint << "\n";
            return false;
        }
    }
    return true;
}

bool probeUnit(HostSession& session, std::chrono::milliseconds limit) {
    LinkController& c = session.controller();
    if (!c.connect()) return false;
    // Every poll counts as missed until its reply comes: once a poll has gone
    // out, a count of 0 means the unit answered.
    const auto firstPoll = Clock::now() + std::chrono::milliseconds(c.pollInterval() + 50);
    return session.runFor([&] { return Clock::now() > firstPoll && c.missedPollCount() == 0; }, limit);
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

// The transfer sessions and the checksum check tick every 100 ms by the session's clock.
RunHooks every100ms(std::function<void()> tick) { return RunHooks::every(std::chrono::milliseconds(100), std::move(tick)); }

// Reads the unit's program checksum back ("Run CRC 32", then "Read CRC 32").
bool readProgramCrc(HostSession& line, uint32_t& crc) {
    ProgramCrcCheck check(line.controller());
    check.start();
    // A read the link gives up is asked again, as any the console waits for.
    line.keepAsking(cmd::ReadCrc32);
    line.runFor([&] { return check.finished(); }, std::chrono::seconds(20), every100ms([&] { check.onTick(); }));
    line.stopAsking(cmd::ReadCrc32);
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

    HostSession line("halvek-cli download", err);
    if (!prepareLine(o, line, out, err)) return 1;
    ControllerHost& host = line.host();
    const std::string path = line.shownDevice();

    const bool answering = probeUnit(line, std::chrono::milliseconds(1200));
    if (!(host.controller.linkFlags() & linkflag::PortOpen)) {
        err << "download failed: " << escapeForTerminal(host.block.port.lastError()) << std::endl;
        return 1;
    }
    out << (answering ? "unit answers: asking it to start its download loader"
                      : "unit does not answer: expecting it in download mode")
        << std::endl;

    Progress progress(out, isTerminal(out), "blocks");
    ConsoleDownload listener(out, err, progress);
    ProbedLink link(host.controller, line.ui(), answering);
    SerialDownloadPort port(host.block, path);
    DownloadSession session(host.block, port, link, listener);
    host.controller.lendLine();
    host.controller.setTransferHandler([&session](Notification n) {
        if (n == Notification::TransferDone) session.onTransferDone();
    });
    session.open();
    session.chooseFile(o.file);
    const auto started = Clock::now();
    const RunHooks ticks = every100ms([&] { session.onTick(); });
    bool ok = line.runFor([&] { return session.connected() || session.status() == DownloadStatus::Failed; },
                          std::chrono::seconds(30), ticks);
    if (!ok) {
        err << "download failed: the loader does not answer on " << path << std::endl;
        session.exit();
        return 1;
    }
    if (session.status() != DownloadStatus::Failed) session.download();
    ok = line.runFor(
        [&] {
            return session.status() == DownloadStatus::Finished || session.status() == DownloadStatus::Failed ||
                   !session.timerRunning();
        },
        std::chrono::hours(2), ticks);
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
    } else if (readProgramCrc(line, unitCrc)) {
        verdict = file.matchesProgram(unitCrc)
                      ? "program CRC_32 " + hex8(unitCrc) + " verified"
                      : "program CRC_32 " + hex8(unitCrc) + " DIFFERENT from the file's " + hex8(file.crc32());
    } else {
        verdict = "not verified: the unit did not answer \"Read CRC 32\"";
    }
    line.close();
    const bool differs = verdict.find("DIFFERENT") != std::string::npos;
    (differs ? err : out) << summary << ", " << verdict << std::endl;
    return differs ? 1 : 0;
}

}  // namespace halvek::cli
