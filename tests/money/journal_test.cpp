// The money journal: its line format, seq carried on across runs and over a
// line cut short, and the reader that replays what came after a seq.
#include "money/journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace halvek {
namespace {

std::string tempJournal() {
    char name[] = "/tmp/halvek-journal-XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    ::close(fd);
    return name;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

MoneyEvent ofEpisode(MoneyEvent e, int64_t episode, std::string by = "") {
    e.episode = episode;
    e.by = std::move(by);
    return e;
}

TEST(Journal, OneLinePerRecordEndingWithItsSeq) {
    struct Case {
        MoneyEvent record;
        const char* line;
    };
    // clang-format off
    const Case cases[] = {
        {{MoneyKind::Stacked, 3, 20, 60}, "T stacked type=3 value=20 credit=60 seq=7"},
        {{MoneyKind::Decision, 70, -1, 0, "return"}, "T decision type=70 value=? credit=0 action=return seq=7"},
        {{MoneyKind::Sent, 3, 20, 40, "accept"}, "T sent type=3 value=20 credit=40 action=accept seq=7"},
        {{MoneyKind::InDoubt, 3, 20, 20, "", "count-not-risen", 1, 2},
         "T in-doubt type=3 value=20 credit=20 reason=count-not-risen unit-count=1 expected-count=2 seq=7"},
        {{MoneyKind::InDoubt, 9, -1, 0, "", "count-not-given"},
         "T in-doubt type=9 value=? credit=0 reason=count-not-given unit-count=? expected-count=? seq=7"},
        {ofEpisode({MoneyKind::Decision, 3, 20, 0, "accept"}, 41, "operator"),
         "T decision type=3 value=20 credit=0 action=accept by=operator episode=41 seq=7"},
        {ofEpisode({MoneyKind::Stacked, 3, 20, 20}, 41), "T stacked type=3 value=20 credit=20 episode=41 seq=7"},
        // An accept carries the count it expects to rise from: what settles it after a crash.
        {ofEpisode({MoneyKind::Sent, 3, 20, 0, "accept", "", -1, 41}, 5),
         "T sent type=3 value=20 credit=0 action=accept expected-count=41 episode=5 seq=7"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string line = journalLine(c.record, "T", 7);
        EXPECT_EQ(line, c.line);
        // What is written reads back as it was.
        const JournalReading read = readJournal(line + "\n");
        ASSERT_EQ(read.records.size(), 1u) << line;
        const MoneyEvent& back = read.records[0].record;
        EXPECT_EQ(read.records[0].seq, 7u);
        EXPECT_EQ(back.kind, c.record.kind);
        EXPECT_EQ(back.type, c.record.type);
        EXPECT_EQ(back.value, c.record.value);
        EXPECT_EQ(back.creditTotal, c.record.creditTotal);
        EXPECT_EQ(back.action, c.record.action);
        EXPECT_EQ(back.reason, c.record.reason);
        EXPECT_EQ(back.unitCount, c.record.unitCount);
        EXPECT_EQ(back.expectedCount, c.record.expectedCount);
        EXPECT_EQ(back.episode, c.record.episode);
        EXPECT_EQ(back.by, c.record.by);
        EXPECT_EQ(back.seq, 7u);
    }
}

// The settlement machine numbers its records from the journal's next seq; the
// journal writes that number, and never one it has handed out already.
TEST(Journal, WritesTheRecordsOwnSeqNeverAnOldOne) {
    const std::string path = tempJournal();
    JournalFile j;
    ASSERT_TRUE(j.open(path));
    MoneyEvent e{MoneyKind::Escrow, 3, 20};
    e.seq = 41;
    EXPECT_TRUE(j.append(e, "T1"));
    EXPECT_EQ(j.nextSeq(), 42u);
    e.seq = 5;  // behind the journal
    EXPECT_TRUE(j.append(e, "T2"));
    const JournalReading read = readJournal(contents(path));
    ASSERT_EQ(read.records.size(), 2u);
    EXPECT_EQ(read.records[0].seq, 41u);
    EXPECT_EQ(read.records[1].seq, 42u);
    std::remove(path.c_str());
}

// The application's acks are lines of the journal too: they take a seq, are no
// money record, and the reader tells the highest one wherever it stands.
TEST(Journal, AcksAreKeptAndReadBack) {
    const std::string path = tempJournal();
    {
        JournalFile j;
        ASSERT_TRUE(j.open(path));
        EXPECT_TRUE(j.append({MoneyKind::Stacked, 3, 20, 20}, "T1"));
        EXPECT_TRUE(j.appendAck(1, "T2"));
        EXPECT_TRUE(j.append({MoneyKind::Credit, 3, 20, 20}, "T3"));
    }
    EXPECT_EQ(contents(path), "T1 stacked type=3 value=20 credit=20 seq=1\nT2 ack upto=1 seq=2\n"
                              "T3 credit type=3 value=20 credit=20 seq=3\n");
    JournalFile again;
    ASSERT_TRUE(again.open(path));
    EXPECT_EQ(again.nextSeq(), 4u);
    const JournalReading r = readJournal(contents(path) + "T4 ack upto=x seq=4\nT5 ack upto=3\n");
    EXPECT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.ackedUpTo, 1u);
    EXPECT_EQ(r.unreadLines, 2u);  // a damaged ack is no ack
    EXPECT_EQ(r.lastSeq, 4u);
    std::remove(path.c_str());
}

TEST(Journal, SeqCarriesOnAcrossRunsAndOverALineCutShort) {
    const std::string path = tempJournal();
    {
        JournalFile j;
        ASSERT_TRUE(j.open(path));
        EXPECT_TRUE(j.damage().empty());
        EXPECT_TRUE(j.append({MoneyKind::Escrow, 3, 20}, "T1"));
        EXPECT_TRUE(j.append({MoneyKind::Stacked, 3, 20, 20}, "T2"));
    }
    {
        JournalFile j;  // the next run
        ASSERT_TRUE(j.open(path));
        EXPECT_EQ(j.nextSeq(), 3u);
        EXPECT_TRUE(j.append({MoneyKind::Credit, 3, 20, 20}, "T3"));
    }
    // A crash in the middle of a line: the next run says so once, starts on a
    // line of its own, and passes over the number the cut line may have had.
    {
        std::ofstream cut(path, std::ios::app | std::ios::binary);
        cut << "T4 stacked type=1 value=5 credit=25 se";
    }
    JournalFile j;
    ASSERT_TRUE(j.open(path));
    EXPECT_NE(j.damage().find(path), std::string::npos);
    EXPECT_EQ(j.nextSeq(), 5u);
    EXPECT_TRUE(j.append({MoneyKind::Stacked, 1, 5, 25}, "T5"));
    const std::string text = contents(path);
    EXPECT_NE(text.find("se\nT5 stacked type=1 value=5 credit=25 seq=5\n"), std::string::npos) << text;

    const JournalReading all = readJournal(text);
    ASSERT_EQ(all.records.size(), 4u);
    EXPECT_EQ(all.unreadLines, 1u);
    EXPECT_EQ(all.lastSeq, 5u);
    std::vector<uint64_t> seqs;
    for (const JournalRecord& r : all.records) seqs.push_back(r.seq);
    EXPECT_EQ(seqs, (std::vector<uint64_t>{1, 2, 3, 5}));

    JournalReading after;
    std::string error;
    ASSERT_TRUE(readJournalFile(path, 2, after, &error)) << error;
    ASSERT_EQ(after.records.size(), 2u);
    EXPECT_EQ(after.records[0].seq, 3u);
    EXPECT_EQ(after.records[0].timestamp, "T3");
    std::remove(path.c_str());
}

TEST(Journal, TheReaderTakesOnlyWholeNumberedRecords) {
    const std::string bytes =
        "T0 stacked type=3 value=20 credit=60\n"         // a line from before lines were numbered
        "T1 escrow type=3 value=20 credit=0 seq=1\r\n"   // a line end of another system
        "T2 nonsense type=3 value=20 credit=0 seq=2\n"   // no such kind
        "T3 stacked type=3 value=2x credit=0 seq=3\n"    // not a number
        "T4 stacked type=300 value=20 credit=0 seq=4\n"  // no such bill type
        "\n"
        "T5 stacked type=3 value=20 credit=20 seq=99999999999999999999\n"  // beyond any seq
        "T6 returned type=3 value=20 credit=20 seq=6 later=field\n";
    const JournalReading r = readJournal(bytes);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].seq, 1u);
    EXPECT_EQ(r.records[1].seq, 6u);
    EXPECT_EQ(r.unreadLines, 5u);
    EXPECT_EQ(r.lastSeq, 6u);

    JournalReading none;
    std::string error;
    EXPECT_FALSE(readJournalFile("/nonexistent-dir/journal.txt", 0, none, &error));
    EXPECT_NE(error.find("/nonexistent-dir/journal.txt"), std::string::npos);
    JournalFile j;
    EXPECT_FALSE(j.open("/nonexistent-dir/journal.txt"));
    EXPECT_NE(j.lastError().find("/nonexistent-dir/journal.txt"), std::string::npos);
}

// A full disk: each record fails with the file and the reason.
TEST(Journal, AWriteThatFailsNamesTheFileAndTheReason) {
    JournalFile j;
    ASSERT_TRUE(j.open("/dev/full"));
    EXPECT_FALSE(j.append({MoneyKind::Stacked, 3, 20, 20}, "T"));
    EXPECT_EQ(j.lastError(), "cannot write the money journal /dev/full: No space left on device");
}

}  // namespace
}  // namespace halvek
