#include "link/money_journal.h"

#include "link/time_text.h"

namespace halvek {

bool MoneyJournal::open(const std::string& path) {
    failedWrites_ = 0;
    failing_ = false;
    if (!file_.open(path)) {
        lastError_ = file_.lastError();
        return false;
    }
    return true;
}

void MoneyJournal::moneyEvent(const MoneyEvent& e) {
    if (!file_.isOpen()) return;
    if (!file_.append(e, isoTimestamp())) {
        ++failedWrites_;
        lastError_ = file_.lastError();
        // Said when it starts failing, not at every record.
        if (!failing_ && trouble_) trouble_(lastError_);
        failing_ = true;
        return;
    }
    if (failing_) {
        failing_ = false;
        if (trouble_) trouble_("");
    }
}

}  // namespace halvek
