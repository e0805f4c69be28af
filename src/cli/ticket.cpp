#include <iostream>

#include "accessories/ticket_printer_session.h"
#include "cassette.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"

namespace halvek::cli {
namespace {

const char* kTicketUsage =
    "usage: halvek-cli ticket DIGITS --printer PATH\n"
    "  DIGITS          1 to 24 digits: the bar code and the number line of the ticket\n"
    "  --printer PATH  the ticket printer's device, e.g. /dev/ttyUSB1 (9600 baud, 8N1)\n"
    "exit codes: 0 printed, 1 not printed (the reason on stderr), 2 bad command line (the usage on stderr)\n";

class TicketUi : public NullUserInterface {
  public:
    explicit TicketUi(std::ostream& err) : err_(err) {}
    Answer showMessage(const Message& m) override {
        err_ << "halvek-cli ticket: " << shownMessage(m) << "\n";
        return Answer::Ok;
    }

  private:
    std::ostream& err_;
};

class FailureReport : public TicketPrinterListener {
  public:
    explicit FailureReport(std::ostream& err) : err_(err) {}
    void printerChanged() override {}
    void printFailed(const std::string& text, const std::string& reason) override {
        err_ << "halvek-cli ticket: " << text << " (" << reason << ")\n";
    }

  private:
    std::ostream& err_;
};

}  // namespace

int runTicket(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string digits, printer;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kTicketUsage;
            return 0;
        }
        if (a == "--printer" && i + 1 < args.size()) {
            printer = args[++i];
        } else if (digits.empty() && !a.empty() && a[0] != '-') {
            digits = a;
        } else {
            return usageError(err, "ticket", "bad argument " + escapeForTerminal(a), kTicketUsage);
        }
    }
    if (digits.empty() || printer.empty())
        return usageError(err, "ticket", "give the digits and --printer PATH", kTicketUsage);
    // The digits are the command line's to get right, whatever the printer would say of them.
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return usageError(err, "ticket", "the ticket takes digits only, not '" + escapeForTerminal(digits) + "'",
                          kTicketUsage);
    if (digits.size() > TicketPrinterSession::kMaxDigits)
        return usageError(err, "ticket", "at most 24 digits, not " + std::to_string(digits.size()), kTicketUsage);
    TicketUi ui(err);
    FailureReport report(err);
    PortMap ports;
    ports.set(1, printer);
    EventList events;
    TicketPrinterSession session(ports, ui, events);
    session.setListener(&report);
    if (!session.openPort()) return 1;
    const bool printed = session.print(digits);
    session.closePort();
    if (!printed) return 1;
    out << "ticket printed: " << digits << " on " << printer << "\n";
    return 0;
}

}  // namespace halvek::cli
