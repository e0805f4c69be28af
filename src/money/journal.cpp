#include "money/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace halvek {
namespace {

std::string figure(int64_t n) { return n < 0 ? std::string("?") : std::to_string(n); }

// A whole field value as a number; "?" reads -1.
bool number(std::string_view text, int64_t& out) {
    if (text == "?") {
        out = -1;
        return true;
    }
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

bool unsignedNumber(std::string_view text, uint64_t& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty() && text[0] != '-';
}

// The seq a line carries, 0 when it carries none.
uint64_t seqOf(std::string_view line) {
    const size_t at = line.rfind(" seq=");
    if (at == std::string_view::npos) return 0;
    uint64_t seq = 0;
    return unsignedNumber(line.substr(at + 5), seq) ? seq : 0;
}

// One line as a record; false when it is not a whole one.
bool parseLine(std::string_view line, JournalRecord& out) {
    std::vector<std::string_view> fields;
    size_t from = 0;
    while (from <= line.size()) {
        const size_t space = std::min(line.find(' ', from), line.size());
        fields.push_back(line.substr(from, space - from));
        from = space + 1;
    }
    if (fields.size() < 3 || fields[0].empty()) return false;
    out = JournalRecord{};
    out.timestamp = std::string(fields[0]);
    if (!moneyKindFromName(fields[1], out.record.kind)) return false;
    bool typeSeen = false;
    for (size_t i = 2; i < fields.size(); ++i) {
        const size_t eq = fields[i].find('=');
        if (eq == std::string_view::npos) return false;
        const std::string_view key = fields[i].substr(0, eq), value = fields[i].substr(eq + 1);
        int64_t n = 0;
        const bool numeric = key == "type" || key == "value" || key == "credit" || key == "unit-count" ||
                             key == "expected-count" || key == "episode";
        if (key == "seq") {
            if (!unsignedNumber(value, out.seq) || out.seq == 0) return false;
        } else if (key == "action") {
            out.record.action = std::string(value);
        } else if (key == "reason") {
            out.record.reason = std::string(value);
        } else if (key == "by") {
            out.record.by = std::string(value);
        } else if (!numeric) {
            continue;  // a field of a later writer: passed over
        } else if (!number(value, n)) {
            return false;
        } else if (key == "type") {
            if (n < 0 || n > 255) return false;
            out.record.type = static_cast<int>(n);
            typeSeen = true;
        } else if (key == "value") {
            out.record.value = n;
        } else if (key == "credit") {
            out.record.creditTotal = n;
        } else if (key == "unit-count") {
            out.record.unitCount = n;
        } else if (key == "expected-count") {
            out.record.expectedCount = n;
        } else if (key == "episode") {
            if (n < 0) return false;
            out.record.episode = n;
        }
    }
    out.record.seq = out.seq;
    return typeSeen && out.seq != 0;
}

// An ack line ("TIME ack upto=N seq=M"): the seq it acknowledges up to; false when it is not one.
bool parseAck(std::string_view line, uint64_t& upTo) {
    const size_t first = line.find(' ');
    if (first == std::string_view::npos || line.substr(first + 1, 9) != "ack upto=") return false;
    const std::string_view rest = line.substr(first + 10);
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos || rest.substr(space) != " seq=" + std::to_string(seqOf(line))) return false;
    return seqOf(line) != 0 && unsignedNumber(rest.substr(0, space), upTo);
}

}  // namespace

std::string journalLine(const MoneyEvent& e, const std::string& timestamp, uint64_t seq) {
    std::string s = timestamp + " " + moneyKindName(e.kind) + " type=" + std::to_string(e.type) +
                    " value=" + figure(e.value) + " credit=" + std::to_string(e.creditTotal);
    if (!e.action.empty()) s += " action=" + e.action;
    if (!e.by.empty()) s += " by=" + e.by;
    if (e.kind == MoneyKind::InDoubt) {
        s += " reason=" + (e.reason.empty() ? std::string("?") : e.reason);
        s += " unit-count=" + figure(e.unitCount) + " expected-count=" + figure(e.expectedCount);
    } else if (e.expectedCount >= 0) {
        s += " expected-count=" + std::to_string(e.expectedCount);
    }
    if (e.episode > 0) s += " episode=" + std::to_string(e.episode);
    return s + " seq=" + std::to_string(seq);
}

JournalFile::~JournalFile() { close(); }

void JournalFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool JournalFile::open(const std::string& path) {
    close();
    damage_.clear();
    nextSeq_ = 1;
    lineOpen_ = false;
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        lastError_ = "cannot open the money journal " + path + ": " + std::strerror(errno);
        return false;
    }
    // The highest seq anywhere in the journal, read a piece at a time.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return true;  // a device (/dev/full): nothing to carry on
    uint64_t last = 0;
    std::string pending;  // bytes after the last line end read so far
    std::vector<char> buf(64 * 1024);
    off_t at = 0;
    for (;;) {
        const ssize_t r = ::pread(fd_, buf.data(), buf.size(), at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        at += r;
        pending.append(buf.data(), static_cast<size_t>(r));
        const size_t lineEnd = pending.rfind('\n');
        if (lineEnd == std::string::npos) continue;
        last = std::max(last, readJournal(std::string_view(pending).substr(0, lineEnd + 1)).lastSeq);
        pending.erase(0, lineEnd + 1);
    }
    if (!pending.empty()) {
        // The last record may have been cut short while it was written, its seq
        // with it: the number after the highest seen is passed over too.
        last = std::max(last, readJournal(pending).lastSeq) + 1;
        lineOpen_ = true;
        damage_ =
            "the money journal " + path + " ends with a line cut short; new records follow on a line of their own";
    }
    nextSeq_ = last + 1;
    return true;
}

bool JournalFile::writeAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t r = ::write(fd_, text.data() + done, text.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            lastError_ = "cannot write the money journal " + path_ + ": " + std::strerror(r < 0 ? errno : EIO);
            // Part of a line may be in the file: the next one starts on a line of its own.
            if (done > 0) lineOpen_ = true;
            return false;
        }
        done += static_cast<size_t>(r);
    }
    return true;
}

bool JournalFile::append(const MoneyEvent& record, const std::string& timestamp) {
    if (fd_ < 0) {
        lastError_ = "the money journal is not open";
        return false;
    }
    // A number once handed out is never handed out again, written or not. The
    // settlement machine numbers its records itself, from nextSeq() on.
    const uint64_t seq = std::max(record.seq, nextSeq_);
    nextSeq_ = std::max(nextSeq_, seq + 1);
    return appendLine(journalLine(record, timestamp, seq));
}

bool JournalFile::appendAck(uint64_t upTo, const std::string& timestamp) {
    if (fd_ < 0) {
        lastError_ = "the money journal is not open";
        return false;
    }
    const uint64_t seq = nextSeq_++;
    return appendLine(timestamp + " ack upto=" + std::to_string(upTo) + " seq=" + std::to_string(seq));
}

bool JournalFile::appendLine(const std::string& line) {
    std::string text(lineOpen_ ? 1 : 0, '\n');
    text += line;
    text += '\n';
    if (!writeAll(text)) return false;
    lineOpen_ = false;
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        lastError_ = "cannot write the money journal " + path_ + " through to the disk: " + std::strerror(errno);
        return false;
    }
    return true;
}

JournalReading readJournal(std::string_view bytes, uint64_t afterSeq) {
    JournalReading out;
    size_t from = 0;
    while (from < bytes.size()) {
        const size_t end = bytes.find('\n', from);
        if (end == std::string_view::npos) {
            // Cut short: not a record, though the number it may carry is taken as used.
            ++out.unreadLines;
            out.lastSeq = std::max(out.lastSeq, seqOf(bytes.substr(from)));
            break;
        }
        std::string_view line = bytes.substr(from, end - from);
        from = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        JournalRecord r;
        uint64_t upTo = 0;
        if (parseAck(line, upTo)) {
            out.ackedUpTo = std::max(out.ackedUpTo, upTo);
            out.lastSeq = std::max(out.lastSeq, seqOf(line));
            continue;
        }
        if (!parseLine(line, r)) {
            ++out.unreadLines;
            out.lastSeq = std::max(out.lastSeq, seqOf(line));
            continue;
        }
        out.lastSeq = std::max(out.lastSeq, r.seq);
        if (r.seq > afterSeq) out.records.push_back(std::move(r));
    }
    return out;
}

bool readJournalFile(const std::string& path, uint64_t afterSeq, JournalReading& out, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto fail = [&](const char* what) {
        if (error) *error = std::string("cannot ") + what + " the money journal " + path + ": " + std::strerror(errno);
        return false;
    };
    if (fd < 0) return fail("open");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (!S_ISREG(st.st_mode)) errno = EINVAL;
        const bool r = fail("read");
        ::close(fd);
        return r;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            const bool f = fail("read");
            ::close(fd);
            return f;
        }
        if (r == 0) break;
        bytes.append(buf, static_cast<size_t>(r));
    }
    ::close(fd);
    out = readJournal(bytes, afterSeq);
    return true;
}

}  // namespace halvek
