// The money journal: whatever bytes a journal holds, the reader returns only
// whole numbered records after the seq asked for, each of which reads back the
// same once written again; and a record appended to it gets a seq above every
// one the journal already held.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "money/journal.h"
#include "scratch_file.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::ScratchFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint64_t after = in.u16();
    const auto content = in.rest();
    const std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());

    const JournalReading all = readJournal(bytes);
    const JournalReading later = readJournal(bytes, after);
    FUZZ_CHECK(later.lastSeq == all.lastSeq, "the seq asked for changed the journal's last seq");
    size_t above = 0;
    for (const JournalRecord& r : all.records) {
        FUZZ_CHECK(r.seq > 0 && r.seq <= all.lastSeq, "a record's seq is outside the journal's");
        FUZZ_CHECK(!r.timestamp.empty(), "a record came back without its time");
        if (r.seq > after) ++above;
        const std::string line = journalLine(r.record, r.timestamp, r.seq) + "\n";
        const JournalReading again = readJournal(line);
        FUZZ_CHECK(again.records.size() == 1 && again.unreadLines == 0, "a record written again did not read back");
        const MoneyEvent& a = r.record;
        const MoneyEvent& b = again.records[0].record;
        FUZZ_CHECK(again.records[0].seq == r.seq && a.kind == b.kind && a.type == b.type &&
                       (a.value < 0 ? -1 : a.value) == b.value && a.creditTotal == b.creditTotal,
                   "a record written again read back different");
    }
    FUZZ_CHECK(later.records.size() == above, "the records after a seq are not those above it");
    for (const JournalRecord& r : later.records) FUZZ_CHECK(r.seq > after, "a record at or before the seq came back");

    ScratchFile file(content);
    if (!file.ok()) return 0;
    JournalFile journal;
    FUZZ_CHECK(journal.open(file.path()), "a journal in memory could not be opened");
    const uint64_t seq = journal.nextSeq();
    FUZZ_CHECK(seq > all.lastSeq, "the next seq is not above the journal's last");
    FUZZ_CHECK(journal.append({MoneyKind::Stacked, 3, 20, 20}, "T"), "a record could not be appended");
    journal.close();
    JournalReading appended;
    std::string error;
    FUZZ_CHECK(readJournalFile(file.path(), all.lastSeq, appended, &error), "the journal could not be read again");
    FUZZ_CHECK(!appended.records.empty() && appended.records.back().seq == seq,
               "the appended record is not the journal's last");
    return 0;
}
