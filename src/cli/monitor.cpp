#include "cli/monitor.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/read_targets.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/host_session.h"
#include "host/stop_signals.h"
#include "link/link_state.h"
#include "link/money_journal.h"
#include "link/texts.h"
#include "link/time_text.h"
#include "serial/bounded_writer.h"

namespace halvek::cli {
namespace {

// One line per happening: "kind: text", with the time in front when asked
// for, or one JSON object per line for scripts. With a writer, the lines go
// through its bounded queue: a line it cannot take is dropped whole and counted.
class MonitorOutput {
  public:
    MonitorOutput(std::ostream& out, BoundedWriter* writer, bool timestamps, bool json)
        : out_(out), writer_(writer), timestamps_(timestamps), json_(json) {}
    void print(const char* kind, const std::string& text) {
        line_.clear();
        if (json_) {
            line_ += "{\"time\":" + jsonString(isoTimestamp()) + ",\"kind\":" + jsonString(kind) +
                     ",\"text\":" + jsonString(text) + "}\n";
        } else {
            if (timestamps_) line_ += isoTimestamp() + " ";
            line_ += std::string(kind) + ": " + escapeForTerminal(text) + "\n";
        }
        if (writer_)
            writer_->push(line_);
        else
            out_ << line_ << std::flush;
    }

  private:
    std::ostream& out_;
    BoundedWriter* writer_;
    bool timestamps_, json_;
    std::string line_;
};

class MonitorUi : public NullUserInterface, public StatusListener {
  public:
    explicit MonitorUi(MonitorOutput& out) : out_(out) {}

    void attach(ControllerHost* host) {
        host_ = host;
        host->controller.addStatusListener(this);
    }

    // Prints the commands sent and the state since the last call, oldest first.
    void catchUp() {
        if (!host_) return;
        const Stores& s = host_->stores;
        const auto& lines = s.history.slots();
        const uint32_t fresh = std::min<uint32_t>(s.history.counter() - commands_, static_cast<uint32_t>(lines.size()));
        size_t filled = 0;
        while (filled < lines.size() && !lines[filled].empty()) ++filled;
        for (size_t i = filled - std::min<size_t>(fresh, filled); i < filled; ++i) out_.print("command", lines[i]);
        commands_ = s.history.counter();
        const int state = host_->controller.currentState();
        if (state != state_) {
            state_ = state;
            out_.print("state", state == 0 ? "none" : text::stateName(state));
        }
        catchUpLinkState();
    }
    void setSimulated(bool simulated) { simulated_ = simulated; }

    // Every event as it is added, however many one reply adds.
    void eventAdded(const std::string& text) override {
        catchUp();
        out_.print("event", text);
    }
    void linkNotice(const std::string& text) override {
        catchUp();
        out_.print("link", text);
    }

    Answer showMessage(const Message& m) override {
        catchUp();
        out_.print("message", shownMessage(m));
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;  // the default button
    }
    void setWindowTitle(const std::string& title) override {
        catchUp();
        out_.print("title", title);
    }

  private:
    // The link's state as the window shows it beside CONNECT, printed when it changes.
    void catchUpLinkState() {
        const LinkState now = linkStateOf(linkFactsOf(host_->controller));
        if (now == linkState_) return;
        linkState_ = now;
        out_.print("link", linkStateCaption(now, simulated_));
    }

    MonitorOutput& out_;
    bool simulated_ = false;
    LinkState linkState_ = LinkState::Closed;
    ControllerHost* host_ = nullptr;
    uint32_t commands_ = 0;
    int state_ = 0;
};

const std::string kUsage =
    std::string(
        "usage: halvek-cli monitor (--port PATH | --com N | --simulate) [--q7 | --q7e] [--interval MS]\n"
        "                          [--seconds S] [--timestamps] [--json] [--journal FILE]\n") +
    kLinkOptionsUsage +
    "  --seconds S   how long to run (default: until interrupted)\n"
    "  --timestamps  each line starts with its time (ISO 8601, milliseconds)\n"
    "  --json        one JSON object a line: {\"time\", \"kind\", \"text\"}\n"
    "  --journal FILE  appends every money event (escrow, decision, frame sent, stacked, returned, credit)\n"
    "lines: command, state, event, message, title, and link (the link's state as it changes, what the line\n"
    "dropped or asked again, and its summary at the end)\n" +
    exitCodes("the line could not be opened, or money records were not written to the journal");

}  // namespace

int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (&out != &std::cout) return runMonitor(args, out, err, -1);
    out.flush();  // what the stream holds comes before the lines written to its descriptor
    return runMonitor(args, out, err, STDOUT_FILENO);
}

int runMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, int linesFd) {
    LinkOptions link;
    long seconds = -1;
    bool timestamps = false, json = false;
    std::string journalPath;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        if (parseLinkOption(args, i, link, error)) {
            if (error.empty()) continue;
            return usageError(err, "monitor", error, kUsage);
        }
        if (a == "--seconds") {
            const std::string* v = i + 1 < args.size() ? &args[++i] : nullptr;
            if (!v || !parseInt(*v, 0, 100000000, seconds))
                return usageError(err, "monitor", badValue(a, "a number from 0 to 100000000", v), kUsage);
        } else if (a == "--timestamps") {
            timestamps = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--journal") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usageError(err, "monitor", "--journal needs a FILE", kUsage);
            journalPath = args[++i];
        } else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else {
            err << "halvek-cli monitor: bad option " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (const std::string problem = checkLinkOptions(link); !problem.empty()) {
        err << "halvek-cli monitor: " << problem << "\n" << kUsage;
        return 2;
    }
    MoneyJournal journal;
    if (!journalPath.empty() && !journal.open(journalPath)) {
        err << "halvek-cli monitor: " << journal.lastError() << "\n";
        return 1;
    }
    if (!journal.damage().empty()) err << "halvek-cli monitor: " << journal.damage() << "\n";
    // A record the journal could not take is said at once (and once while it
    // goes on failing); the run then ends with a failure.
    journal.setTroubleHandler([&err, &journalPath](const std::string& error) {
        if (error.empty())
            err << "halvek-cli monitor: the money journal " << journalPath << " takes records again\n";
        else
            err << "halvek-cli monitor: " << error << "\n";
        err.flush();
    });
    // Room for some minutes of lines: a reader that pauses a moment loses nothing.
    constexpr size_t kQueuedLines = 256 * 1024;
    std::unique_ptr<BoundedWriter> writer;
    if (linesFd >= 0) writer = std::make_unique<BoundedWriter>(linesFd, kQueuedLines, false);
    MonitorOutput output(out, writer.get(), timestamps, json);
    MonitorUi ui(output);
    HostSession session("halvek-cli monitor", err);
    session.setView(&ui);
    session.setMessageHandler([&ui](const Message& m) { return ui.showMessage(m); });
    session.setPlaysMachineController(true);
    session.setAnnounceSimulator(true);
    if (!session.startLine(link)) return 1;
    ControllerHost& host = session.host();
    ui.attach(&host);
    ui.setSimulated(link.simulate);
    if (journal.isOpen()) {
        host.controller.settlement().setFirstSeq(journal.nextSeq());
        host.controller.addStatusListener(&journal);
    }
    if (!session.connect()) {
        err << "halvek-cli monitor: " << escapeForTerminal(host.block.port.lastError()) << "\n";
        return 1;
    }
    // Ctrl-C or a kill ends the run as EXIT would: the line is closed properly.
    using Clock = std::chrono::steady_clock;
    const auto end = seconds < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::seconds(seconds);
    // A reader that went away (a closed pipe) ends the run as a signal would.
    const auto outputGone = [&writer] { return writer && writer->failed(); };
    {
        const StopSignals stop(session.lineLoop());
        session.runUntil([&] { return stop.requested() || outputGone(); }, end,
                         RunHooks::afterEach([&ui] { ui.catchUp(); }));
    }
    session.close();
    // What the line cost, said once at the end.
    std::string summary = host.controller.linkSummary();
    if (journal.failedWrites() > 0)
        summary += ", " + std::to_string(journal.failedWrites()) + " money records not written to the journal";
    output.print("link", summary);
    int rc = 0;
    if (journal.failedWrites() > 0) {
        err << "halvek-cli monitor: " << journal.failedWrites() << " money records were not written to the journal "
            << journalPath << "\n";
        rc = 1;
    }
    if (!writer) return rc;
    // The reader gets a moment for what is queued; then what it did not take is said.
    constexpr auto kGrace = std::chrono::seconds(1);
    const bool complete = writer->finish(Clock::now() + kGrace);
    if (complete && writer->refusedPieces() == 0) return rc;
    err << "halvek-cli monitor: standard output ";
    if (writer->failed())
        err << "failed: " << writer->error();
    else
        err << "was not read";
    err << "; " << writer->refusedPieces() << " lines dropped, " << writer->unwrittenBytes()
        << " bytes queued but not written\n";
    return 1;
}

}  // namespace halvek::cli
