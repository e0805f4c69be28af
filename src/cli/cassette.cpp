#include "cassette.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "accessories/cassette_data_session.h"
#include "accessories/cassette_id.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/host_session.h"
#include "protocol/catalogue.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli cassette (read | write-id ID | clear) (--port PATH | --com N | --simulate) [--q7 | --q7e]\n"
    "  read          prints the cassette's ID, its bill counts and its fault counts\n"
    "  write-id ID   writes the ID (1 to 4294967295) with its check value and reads it back\n"
    "  clear         erases the cassette's bill and fault records\n"
    "  --port PATH   the validator's device, e.g. /dev/ttyUSB0\n"
    "  --com N       COM N as the window maps it (HALVEK_COM<N> when set, else the device kept\n"
    "                for it in halvek.ini, else /dev/ttyS<N-1>)\n"
    "  --simulate    runs the simulated validator inside and connects to it\n"
    "exit codes: 0 done, 1 no line, no answer, or the cassette refused (the reason on stderr),\n"
    "2 bad command line (the usage on stderr)\n";

// Messages are printed; the command line itself was the user's OK. Every
// refusal counts: the command then fails.
class CassetteView : public NullUserInterface {
  public:
    explicit CassetteView(std::ostream& err) : err_(err) {}
    Answer showMessage(const Message& m) override {
        if (m.buttons == Buttons::Ok) {
            err_ << "halvek-cli cassette: " << shownMessage(m) << "\n";
            ++refusals;
        }
        return m.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void refreshView(View v) override {
        if (v == View::CassetteData) ++dataRefreshes;
    }

    int refusals = 0;
    int dataRefreshes = 0;

  private:
    std::ostream& err_;
};

void printRecords(std::ostream& out, const CassetteDataStore& store, const BillStore& bills) {
    const CassetteBillView view = makeCassetteBillView(store, bills);
    char line[128];
    out << "bill  denom  count\n";
    for (const CassetteBillRow& r : view.rows) {
        std::snprintf(line, sizeof line, "%02d    %-6d %u\n", r.type, static_cast<int>(r.denomination),
                      static_cast<unsigned>(r.count));
        out << line;
    }
    out << "stacked bills: " << view.stackedBills << "\n"
        << "total value: " << view.totalValue << "\n"
        << "num  count  event description\n";
    for (int page = 0; page < 2; ++page) {
        for (const CassetteFaultRow& r : makeCassetteFaultView(store, page)) {
            std::snprintf(line, sizeof line, "%-4d %-6u %.*s\n", r.event, static_cast<unsigned>(r.count),
                          static_cast<int>(r.description.size()), r.description.data());
            out << line;
        }
    }
}

bool parseLong(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

}  // namespace

int runCassette(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string action, port;
    long com = 0;
    uint32_t id = 0;
    bool extended = true, simulate = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        const std::string* v = nullptr;
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else if ((a == "read" || a == "clear") && action.empty()) {
            action = a;
        } else if (a == "write-id" && action.empty() && (v = value())) {
            const auto parsed = parseCassetteId(*v);
            if (!parsed || *parsed == 0) {
                return usageError(err, "cassette", badValue("write-id", "a number from 1 to 4294967295", v), kUsage);
            }
            action = a;
            id = *parsed;
        } else if (a == "--port" && (v = value())) {
            port = *v;
        } else if (a == "--com" && (v = value()) && parseLong(*v, 1, 99, com)) {
        } else if (a == "--simulate") {
            simulate = true;
        } else if (a == "--q7" || a == "--q7e") {
            extended = a == "--q7e";
        } else {
            return usageError(err, "cassette", "bad argument " + escapeForTerminal(a + (v ? " " + *v : "")), kUsage);
        }
    }
    if (action.empty() || (port.empty() ? 0 : 1) + (com ? 1 : 0) + (simulate ? 1 : 0) != 1) {
        err << "halvek-cli cassette: give one of read, write-id ID and clear, and one of --port, --com and "
               "--simulate\n"
            << kUsage;
        return 2;
    }
    CassetteView ui(err);
    HostSession run("halvek-cli cassette", err);
    run.setView(&ui);
    run.setMessageHandler([&ui](const Message& m) { return ui.showMessage(m); });
    LinkOptions line;
    line.port = port;
    line.com = com;
    line.simulate = simulate;
    line.extended = extended;
    line.interval = 100;
    if (!run.open(line)) return 1;  // the message named the device and the reason
    ControllerHost& host = run.host();
    const auto until = [&run](const std::function<bool()>& condition) {
        return run.runFor(condition, std::chrono::seconds(5));
    };
    const auto idle = [&host](uint8_t code) { return host.controller.requestState(code) == RequestState::Idle; };
    // The first status reply tells whether a cassette is attached; the
    // start-up reads bring the bill values the totals need.
    if (!until([&] { return host.controller.linkConnected() && host.controller.startupCountdown() == 0; })) {
        err << "halvek-cli cassette: the validator on " << run.shownDevice() << " does not answer\n";
        run.close();
        return 1;
    }
    CassetteDataSession session(host.controller, run.ui());
    session.open();
    // A read the link gives up is asked again while the wait lasts.
    run.keepAsking(cmd::ReadCassetteId);
    run.keepAsking(cmd::ReadCassBillBuf, [&session] { session.readData(); });
    run.keepAsking(cmd::ReadCassFaultBuf);
    int status = 0;
    auto fail = [&](const std::string& what) {
        err << "halvek-cli cassette: " << what << "\n";
        status = 1;
    };
    auto readId = [&]() -> bool {
        const int before = ui.dataRefreshes;
        session.readId();
        if (ui.refusals) return false;
        return until([&] { return ui.dataRefreshes > before; });
    };
    if (action == "read") {
        const CassetteDataStore& store = host.stores.cassette;
        if (!readId()) {
            if (!ui.refusals) fail("no reply to read cassette ID");
        } else {
            out << "cassette id: " << formatCassetteId(cassetteIdFromReply(store.idReply)) << "\n";
            const int before = ui.dataRefreshes;
            session.readData();
            if (!until([&] { return ui.dataRefreshes > before; }))
                fail("no reply to read cass.bill buf. and read cass.fault buf.");
            else
                printRecords(out, store, host.stores.bills);
        }
    } else if (action == "write-id") {
        session.setIdNumber(id);
        session.writeId();
        if (!ui.refusals) {
            until([&] { return idle(cmd::WriteCassetteId) && host.block.transmitFree(); });
            // The cassette keeps an ID only with the right check value: read it back.
            if (!readId()) {
                fail("no reply to read cassette ID");
            } else if (const uint32_t kept = cassetteIdFromReply(host.stores.cassette.idReply); kept != id) {
                fail("the cassette holds " + formatCassetteId(kept) + ", not " + formatCassetteId(id));
            } else {
                out << "cassette id written: " << formatCassetteId(id) << "\n";
            }
        }
    } else {
        session.clearData();
        if (!ui.refusals) {
            if (until([&] { return idle(cmd::EraseSda) && host.block.transmitFree(); })) {
                run.runFor([] { return false; }, std::chrono::milliseconds(300));  // its acknowledgement
                out << "cassette data erased\n";
            } else
                fail("erase SDA data could not be sent");
        }
    }
    if (ui.refusals) status = 1;
    run.close();
    return status;
}

}  // namespace halvek::cli
