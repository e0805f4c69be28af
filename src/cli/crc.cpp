#include "crc.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "firmware/crc_test/crc_test_session.h"
#include "firmware/crc_test/crc_texts.h"
#include "firmware/crc_test/seed_check.h"
#include "host/host_session.h"

namespace halvek::cli {
namespace {

const char* kUsage =
    "usage: halvek-cli crc FILE [--algorithm crc16|ccitt|crc32] [--seed HEX]\n"
    "       halvek-cli crc --program (--port PATH | --com N | --simulate) [FILE] [--algorithm ...] [--seed HEX]\n"
    "                  [--q7 | --q7e] [--timeout S]\n"
    "  FILE           a firmware file (*.L8F); its checksum is printed as the CRC page shows it\n"
    "  --algorithm A  crc16 (polynomial 8005, the default), ccitt (1021) or crc32\n"
    "  --seed HEX     up to 4 hexadecimal digits, up to 8 for crc32 (default 0)\n"
    "  --program      asks the validator for its program's checksum; with FILE, compares them\n"
    "  --port PATH, --com N, --simulate   the validator's line, as for monitor\n"
    "  --timeout S    how long to wait for the validator's answer (default 60)\n"
    "exit codes: 0 done or IDENTICAL, 1 failed (the reason on stderr), 2 bad command line (the usage\n"
    "on stderr), 3 DIFFERENT\n";

// The page's two seed boxes, filled from one hexadecimal number.
bool splitSeed(std::string hex, bool wide, std::string& low, std::string& high) {
    std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::toupper(c); });
    if (hex.size() > (wide ? 8u : 4u)) return false;
    low = hex.size() > 4 ? hex.substr(hex.size() - 4) : hex;
    high = hex.size() > 4 ? hex.substr(0, hex.size() - 4) : "";
    return true;
}

// The session's messages are printed as the page shows them; its result is
// taken when the CRC page would be refreshed.
class CrcView : public NullUserInterface, public CrcTestListener {
  public:
    explicit CrcView(std::ostream& err) : err_(err) {}
    void attach(CrcTestSession* session, const CrcStore* store) {
        session_ = session;
        store_ = store;
    }

    void crcTestMessage(const Message& m) override {
        err_ << shownMessage(m) << "\n";
        failed = true;
    }
    void crcTestChanged() override {}
    void refreshView(View v) override {
        if (v == View::Crc && session_) session_->onProgramResult(store_->lastRead);
    }
    bool failed = false;

  private:
    std::ostream& err_;
    CrcTestSession* session_ = nullptr;
    const CrcStore* store_ = nullptr;
};

bool parseInt(const std::string& s, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == '\0' && v >= lo && v <= hi;
}

struct CrcArgs {
    std::string file, port, seed = "0";
    long com = 0, timeout = 60;
    CrcAlgorithm algorithm = CrcAlgorithm::Crc16;
    bool program = false, simulate = false, extended = true;
};

// 0 when parsed, else the exit status.
int parse(const std::vector<std::string>& args, CrcArgs& c, std::ostream& out, std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        const std::string* v = nullptr;
        if (a == "--algorithm" && (v = value())) {
            const auto it = std::find_if(kCrcAlgorithms.begin(), kCrcAlgorithms.end(),
                                         [&](const CrcAlgorithmInfo& info) { return *v == info.name; });
            if (it == kCrcAlgorithms.end()) {
                return usageError(err, "crc", badValue(a, "crc16, ccitt or crc32", v), kUsage);
            }
            c.algorithm = it->algorithm;
        } else if (a == "--seed" && (v = value()))
            c.seed = *v;
        else if (a == "--port" && (v = value()))
            c.port = *v;
        else if (a == "--com" && (v = value()) && parseInt(*v, 1, 99, c.com)) {
        } else if (a == "--timeout" && (v = value()) && parseInt(*v, 1, 100000, c.timeout)) {
        } else if (a == "--program")
            c.program = true;
        else if (a == "--simulate")
            c.simulate = true;
        else if (a == "--q7")
            c.extended = false;
        else if (a == "--q7e")
            c.extended = true;
        else if (a == "--help" || a == "-h") {
            out << kUsage;
            return -1;
        } else if (c.file.empty() && !a.empty() && a[0] != '-')
            c.file = a;
        else {
            err << "halvek-cli crc: bad option " << a << (v ? " " + *v : "") << "\n" << kUsage;
            return 2;
        }
    }
    if (!c.program && c.file.empty()) {
        err << "halvek-cli crc: name a file, or ask the unit with --program\n" << kUsage;
        return 2;
    }
    const int lines = (c.port.empty() ? 0 : 1) + (c.com ? 1 : 0) + (c.simulate ? 1 : 0);
    if (c.program ? lines != 1 : lines != 0) {
        err << "halvek-cli crc: "
            << (c.program ? "give exactly one of --port, --com and --simulate"
                          : "--port, --com and --simulate go with --program")
            << "\n"
            << kUsage;
        return 2;
    }
    return 0;
}

}  // namespace

int runCrc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CrcArgs c;
    if (const int status = parse(args, c, out, err)) return status < 0 ? 0 : status;
    std::string low, high;
    if (!splitSeed(c.seed, crcInfo(c.algorithm).wide, low, high) ||
        !checkSeeds(low, high, crcInfo(c.algorithm).wide).valid) {
        return usageError(err, "crc",
                          std::string(crctext::kInvalidSeed) + " (--seed " + escapeForTerminal(c.seed) + ")", kUsage);
    }

    CrcView ui(err);
    HostSession line("halvek-cli crc", err);
    line.setMessageLine(err, "");
    line.setAnnounceSimulator(true);
    line.setView(&ui);
    LinkOptions o;
    o.port = c.port;
    o.com = c.com;
    o.simulate = c.simulate;
    o.extended = c.extended;
    if (c.program && !line.startLine(o)) return 1;
    // Its reads are kept asked: one the link gives up is asked again while the wait lasts.
    CrcTestSession session(
        line.stores().crc, [&line](uint8_t code) { line.ask(code); }, &ui);
    ui.attach(&session, &line.stores().crc);
    session.setAlgorithm(c.algorithm);
    session.setSeedTexts(low, high);
    session.setProgramBox(c.program);
    if (!c.file.empty()) session.chooseFile(c.file);

    if (c.program && !line.connect()) {
        err << "halvek-cli crc: " << escapeForTerminal(line.host().block.port.lastError()) << "\n";
        return 1;
    }
    session.run();
    if (ui.failed) return 1;
    const bool answered = line.runFor([&session] { return !session.programTestRunning(); },
                                      std::chrono::seconds(c.timeout),
                                      RunHooks::every(std::chrono::milliseconds(CrcTestSession::kTickMs),
                                                      [&session] { session.onTick(); }));
    line.close();

    const CrcTestSession::Fields& f = session.fields();
    if (c.program && !answered) {
        err << "halvek-cli crc: the validator did not give its checksum within " << c.timeout << " s\n";
        return 1;
    }
    if (!c.program) {
        out << f.fileCrc << "\n";
        return 0;
    }
    out << "program CRC: " << f.programCrc << "\n";
    if (!c.file.empty()) out << "file CRC: " << f.fileCrc << "\n";
    out << f.status << "\n";
    return f.status == crctext::kDifferent ? 3 : 0;
}

}  // namespace halvek::cli
