#include "link/money_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/time_text.h"

namespace halvek {

MoneyJournal::~MoneyJournal() { close(); }

bool MoneyJournal::open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        lastError_ = "cannot open the money journal " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    return true;
}

void MoneyJournal::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string MoneyJournal::line(const MoneyEvent& e, const std::string& timestamp) {
    std::string s = timestamp + " " + moneyKindName(e.kind) + " type=" + std::to_string(e.type) +
                    " value=" + (e.value < 0 ? std::string("?") : std::to_string(e.value)) +
                    " credit=" + std::to_string(e.creditTotal);
    if (!e.action.empty()) s += " action=" + e.action;
    return s;
}

void MoneyJournal::moneyEvent(const MoneyEvent& e) {
    if (fd_ < 0) return;
    const std::string text = line(e, isoTimestamp()) + "\n";
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t r = ::write(fd_, text.data() + done, text.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            lastError_ = "cannot write the money journal " + path_ + ": " + std::strerror(errno);
            return;
        }
        done += static_cast<size_t>(r);
    }
    ::fdatasync(fd_);
}

}  // namespace halvek
