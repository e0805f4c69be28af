#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "money/money_record.h"

namespace halvek {

// The money journal: one line per money record, appended and written through to
// the disk before the next is decided, so a crash loses nothing already decided:
//   2026-12-10T13:40:01.123+01:00 stacked type=3 value=20 credit=60 seq=41
// A value not known reads "value=?"; decisions and frames sent carry
// "action=accept" or "action=return", decisions "by=" who decided; in-doubt
// records carry "reason=", "unit-count=" and "expected-count=" ("?" when not
// known); an accept sent while the unit's count was known carries
// "expected-count=" too, the count before the bill; a record of an escrow
// episode carries "episode=" (the seq of the episode's escrow record). Lines
// without the later fields read as before. The application's acknowledgements
// are lines of their own:
//   2026-12-10T13:40:05.004+01:00 ack upto=41 seq=42
// Every line ends with
// "seq=N", a number that never repeats within one journal: it carries on from
// the journal's last one, so a reader can ask for what came after the last it saw.

// The line a record is written as (without the line end).
std::string journalLine(const MoneyEvent& record, const std::string& timestamp, uint64_t seq);

// Appends records to one journal file.
class JournalFile {
  public:
    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Opens (or creates) the journal and reads its last seq. False, with the file
    // and the reason in lastError(), when it cannot be opened. A journal whose
    // last line was cut short is still appended to, after a line end, and
    // damage() says so once.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    const std::string& lastError() const { return lastError_; }
    // What was found wrong with the journal on opening ("" when nothing).
    const std::string& damage() const { return damage_; }
    // The seq the next record gets.
    uint64_t nextSeq() const { return nextSeq_; }

    // Writes one record, with its own seq (or the next one when it has none). False, with the file and the reason in
    // lastError(), when the line could not be written whole.
    bool append(const MoneyEvent& record, const std::string& timestamp);
    // Writes that the application has taken every record up to upTo, with the
    // next seq: whoever numbers records goes on from nextSeq() after it.
    bool appendAck(uint64_t upTo, const std::string& timestamp);

  private:
    bool writeAll(const std::string& text);
    bool appendLine(const std::string& line);

    int fd_ = -1;
    std::string path_;
    std::string lastError_;
    std::string damage_;
    uint64_t nextSeq_ = 1;
    bool lineOpen_ = false;  // the file does not end with a line end: the next line starts with one
};

// One line of the journal as read back.
struct JournalRecord {
    uint64_t seq = 0;
    std::string timestamp;
    MoneyEvent record;
};

struct JournalReading {
    std::vector<JournalRecord> records;  // in the journal's order, those after the seq asked for
    uint64_t lastSeq = 0;                // the highest seq seen (0: none)
    size_t unreadLines = 0;              // lines that are not whole records (cut short, damaged, no seq)
    uint64_t ackedUpTo = 0;              // the highest seq an ack line names, anywhere in the journal (0: none)
};

// Reads journal bytes: the records whose seq is above afterSeq. A last line
// without its line end was cut short and is not a record.
JournalReading readJournal(std::string_view bytes, uint64_t afterSeq = 0);
// The same from a file; false, with the file and the reason in *error, when it cannot be read.
bool readJournalFile(const std::string& path, uint64_t afterSeq, JournalReading& out, std::string* error);

}  // namespace halvek
