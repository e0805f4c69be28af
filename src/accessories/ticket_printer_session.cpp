#include "accessories/ticket_printer_session.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "accessories/accessory_texts.h"
#include "link/texts.h"

namespace halvek {

bool samePort(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return a == b;
}

void TicketPrinterSession::changed() {
    if (listener_) listener_->printerChanged();
}

bool TicketPrinterSession::setPortIndex(int index) {
    if (isOpen() || index < 0 || index >= kPorts) return false;
    portIndex_ = index;
    changed();
    return true;
}

bool TicketPrinterSession::togglePort() {
    if (isOpen()) {
        closePort();
        return true;
    }
    return openPort();
}

bool TicketPrinterSession::openPort() {
    if (isOpen()) return true;
    const std::string path = portPath();
    bool opened = false;
    if (validatorPath_ && samePort(path, validatorPath_())) {
        lastError_ = std::string(text::kPrinterIsValidatorPort) + " (" + path + ")";
    } else {
        opened = port_.open(path, Parity::None, kBaud);
        if (!opened) lastError_ = port_.lastError();
    }
    if (!opened) {
        ui_.showMessage({text::kInfo, text::kNoConnection2, Buttons::Ok, Icon::None, lastError_});
        changed();
        return false;
    }
    lastError_.clear();
    if (openObserver_) openObserver_(true);
    changed();
    return true;
}

void TicketPrinterSession::closePort() {
    if (!isOpen()) return;
    port_.close();
    if (openObserver_) openObserver_(false);
    changed();
}

bool TicketPrinterSession::print(const std::string& digits) {
    const bool digitsOnly =
        !digits.empty() && digits.size() <= kMaxDigits && digits.find_first_not_of("0123456789") == std::string::npos;
    if (!digitsOnly) {
        ui_.showMessage({text::kInfo, text::kDigitsOnly});
        return false;
    }
    digitBuffer_ = digits;
    return write(windowTicket(digits), text::kTicketNotPrinted + digits);
}

void TicketPrinterSession::onCouponStacked(const std::string& code) {
    if (!isOpen()) return;
    const std::string shown = text::kCouponTicketNotPrinted + shownCode(code);
    if (const std::string fault = couponCodeFault(code); !fault.empty()) {
        lastError_ = fault;
        lost(shown + " (" + fault + ")");
        return;
    }
    write(couponTicket(code), shown);
}

// A ticket is lost: said in the event list and in the window.
void TicketPrinterSession::lost(const std::string& text) {
    addEvent_(text);
    if (listener_) listener_->printFailed(text, lastError_);
}

// Elements go out one by one. At the first that fails the rest of the ticket
// is dropped: a printer that takes nothing would otherwise hold the program
// for a second per element.
bool TicketPrinterSession::write(const Ticket& ticket, const std::string& what) {
    if (!isOpen()) {
        lastError_ = "the printer port is closed";
    } else {
        bool ok = true;
        for (const TicketElement& e : ticket)
            if (!(ok = port_.write(e.data(), e.size()))) break;
        if (ok) return true;
        lastError_ = port_.lastError() + " (" + portPath() + ")";
    }
    lost(what);
    return false;
}

}  // namespace halvek
