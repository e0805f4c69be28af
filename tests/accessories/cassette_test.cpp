#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "accessories/cassette_event_descriptions.h"
#include "accessories/cassette_id.h"
#include "accessories/cassette_records.h"
#include "accessories/id_log_file.h"
#include "accessory_rig.h"
#include "link/texts.h"
#include "pages/cassette/cassette_replies.h"
#include "pages/reply_bytes.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

// The bytes "write cassette ID" carries: the record's identity most
// significant first, then its check value high byte first.
Bytes sentParameters(uint32_t id) {
    const auto r = cassetteIdRecord(id);
    return {r[5], r[4], r[3], r[2], r[1], r[0], r[7], r[6]};
}

TEST(CassetteId, CheckValueAndParametersAreThoseTheCassetteExpects) {
    struct Case {
        uint32_t id;
        uint16_t check;
        Bytes sent;
    };
    const Case cases[] = {
        {1234567, 0x616D, {0x00, 0x00, 0x00, 0x12, 0xD6, 0x87, 0x61, 0x6D}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cassetteCheckValue(c.id), c.check) << c.id;
        EXPECT_EQ(sentParameters(c.id), c.sent) << c.id;
    }
    // The check value covers the whole number: neighbours differ.
    EXPECT_NE(cassetteCheckValue(1), cassetteCheckValue(2));
    EXPECT_NE(cassetteCheckValue(0x01000000), cassetteCheckValue(0));
}

TEST(CassetteId, TextIsTenDigitsForEveryId) {
    EXPECT_EQ(formatCassetteId(41), "0000000041");
    EXPECT_EQ(formatCassetteId(2147483647u), "2147483647");
    EXPECT_EQ(formatCassetteId(4294967295u), "4294967295");  // not a negative number of 11 characters
    EXPECT_EQ(parseCassetteId("0000000041"), 41u);
    EXPECT_EQ(parseCassetteId("4294967295"), 4294967295u);
    for (const char* bad : {"", "4294967296", "12a", "-1", " 1"}) EXPECT_FALSE(parseCassetteId(bad)) << bad;
    EXPECT_EQ(cassetteIdFromReply({0xAA, 0xBB, 0x00, 0x12, 0xD6, 0x87, 0xCC, 0xDD}), 1234567u);
}

TEST(CassetteRecords, RepliesAreStoredAsTheCassetteSendsThem) {
    for (bool extended : {true, false}) {
        const auto store = [extended](auto parse, CassetteDataStore& c, uint8_t code, const Bytes& data) {
            parse(c, test::ReplyBytes(extended, code, data).reply());
        };
        CassetteDataStore c;
        Bytes bills(30);
        bills[0] = 0x01, bills[1] = 0x02;    // type 1: 258
        bills[28] = 0xFF, bills[29] = 0xFE;  // type 15: 65534
        store(storeCassetteBills, c, cmd::ReadCassBillBuf, bills);
        EXPECT_EQ(c.billCounts[1], 258);
        EXPECT_EQ(c.billCounts[15], 65534);
        EXPECT_EQ(c.billCounts[0], 0);

        // A short reply fills what it carries; the rest reads 0.
        store(storeCassetteBills, c, cmd::ReadCassBillBuf, Bytes{0x00, 0x07, 0x00});
        EXPECT_EQ(c.billCounts[1], 7);
        EXPECT_EQ(c.billCounts[2], 0);
        EXPECT_EQ(c.billCounts[15], 0);

        Bytes faults(20);
        for (size_t i = 0; i < faults.size(); ++i) faults[i] = static_cast<uint8_t>(i + 1);
        store(storeCassetteFaults, c, cmd::ReadCassFaultBuf, faults);
        EXPECT_EQ(c.faultCounts[0], 1);
        EXPECT_EQ(c.faultCounts[19], 20);

        store(storeCassetteId, c, cmd::ReadCassetteId, Bytes{0xAA, 0xBB, 0x00, 0x12, 0xD6, 0x87, 0xCC, 0xDD});
        EXPECT_EQ(cassetteIdFromReply(c.idReply), 1234567u) << extended;
    }
}

TEST(CassetteRecords, BillViewShowsSixteenRowsAndTotalsOverFifteen) {
    CassetteDataStore store;
    BillStore bills;
    for (size_t t = 1; t <= 16; ++t) bills.values[t] = t == 16 ? 1 : static_cast<int32_t>(10 * t);
    for (size_t t = 1; t <= 15; ++t) store.billCounts[t] = static_cast<uint16_t>(t);
    const CassetteBillView v = makeCassetteBillView(store, bills);
    EXPECT_EQ(v.rows[0].type, 1);
    EXPECT_EQ(v.rows[0].denomination, 10);
    EXPECT_EQ(v.rows[15].type, 16);
    EXPECT_EQ(v.rows[15].denomination, 1);
    EXPECT_EQ(v.rows[15].count, 0);  // the coupon is never counted
    EXPECT_EQ(v.stackedBills, 120u);
    EXPECT_EQ(v.totalValue, 12400);  // sum of t * 10t

    // Full counts of large values pass 32 bits.
    for (size_t t = 1; t <= 15; ++t) {
        store.billCounts[t] = 65535;
        bills.values[t] = 2147483647;
    }
    const CassetteBillView big = makeCassetteBillView(store, bills);
    EXPECT_EQ(big.stackedBills, 15u * 65535u);
    EXPECT_EQ(big.totalValue, int64_t{15} * 65535 * 2147483647);
}

TEST(CassetteRecords, FaultViewPagesShowEventsOneToEighteen) {
    CassetteDataStore store;
    for (size_t i = 0; i < 20; ++i) store.faultCounts[i] = static_cast<uint8_t>(100 + i);
    const auto first = makeCassetteFaultView(store, 0);
    const auto second = makeCassetteFaultView(store, 1);
    EXPECT_EQ(first[0].event, 1);
    EXPECT_EQ(first[0].count, 100);
    EXPECT_EQ(first[0].description, "return before evaluation     ");
    EXPECT_EQ(first[8].event, 9);
    EXPECT_EQ(second[0].event, 10);
    EXPECT_EQ(second[0].description, "max. credit storred          ");
    EXPECT_EQ(second[8].event, 18);
    EXPECT_EQ(second[8].count, 117);
    for (std::string_view d : cassetteEventDescriptions()) EXPECT_EQ(d.size(), kEventDescriptionWidth) << d;
}

// A scratch directory, removed at the end.
struct TempDir {
    TempDir() {
        char name[] = "/tmp/halvek-cassette-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(IdLog, EveryLineEndLeavesTheTenDigits) {
    TempDir dir;
    const std::string path = dir.file("ids.txt");
    for (const char* end : {"\n", "\r\n", "\r\r\n", "\r"}) {
        for (bool lastEnded : {true, false}) {
            std::string bytes = std::string("0000000040") + end + "0000000041";
            if (lastEnded) bytes += end;
            writeAll(path, bytes);
            std::vector<std::string> lines;
            ASSERT_TRUE(loadIdLog(path, lines, nullptr));
            EXPECT_EQ(lines, (std::vector<std::string>{"0000000040", "0000000041"})) << testing::PrintToString(bytes);
            EXPECT_EQ(nextIdAfter(lines), 42u);
        }
    }
}

TEST(IdLog, AppendWritesTheLineAsBeforeAndReadsBack) {
    TempDir dir;
    const std::string path = dir.file("CassId.txt");
    ASSERT_TRUE(ensureIdLog(path, nullptr));
    ASSERT_TRUE(appendIdLog(path, 41, nullptr));
    ASSERT_TRUE(appendIdLog(path, 3000000000u, nullptr));
    EXPECT_EQ(readAll(path), "0000000041\r\r\n3000000000\r\r\n");
    ASSERT_TRUE(ensureIdLog(path, nullptr));  // never truncates
    std::vector<std::string> lines;
    ASSERT_TRUE(loadIdLog(path, lines, nullptr));
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_TRUE(idLogHolds(lines, 41));
    EXPECT_TRUE(idLogHolds({"41"}, 41));  // compared as numbers
    EXPECT_FALSE(idLogHolds(lines, 42));
    EXPECT_EQ(nextIdAfter({}), 1u);

    std::string error;
    EXPECT_FALSE(loadIdLog(dir.file("missing.txt"), lines, &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
    EXPECT_FALSE(appendIdLog(dir.file("no/such/dir.txt"), 1, &error));
    EXPECT_NE(error.find("no/such/dir.txt"), std::string::npos) << error;
}

// The session without a line: the poll timer is only marked as running.
struct CassetteFixture : testing::Test {
    CassetteFixture() { controller.startTimer(); }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Message& m : ui.messages) out.push_back(m.title + "|" + m.text);
        return out;
    }
    test::RecordingUi ui;
    ControllerHost host{ui};
    LinkController& controller = host.controller;
    CassetteDataSession session{controller, ui};
    TempDir dir;
};

TEST_F(CassetteFixture, ChecksComeFirstInTheirOrder) {
    controller.stopTimer();
    host.stores.status.current[2] = 0x04;
    session.readId();
    controller.startTimer();
    session.readData();
    session.writeId();
    session.clearData();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Info|No Connection", "Info|No Cassette Attached",
                                                 "Info|No Cassette Attached", "Info|No Cassette Attached"}));
    EXPECT_EQ(controller.requestState(cmd::ReadCassetteId), RequestState::Idle);
    EXPECT_EQ(controller.requestState(cmd::EraseSda), RequestState::Idle);
}

TEST_F(CassetteFixture, WriteWithTheLogAdvancesAndRefusesDuplicates) {
    const std::string log = dir.file("ids.txt");
    writeAll(log, "0000000040\r\r\n0000000041\r\r\n");
    ASSERT_TRUE(session.logOptionClicked());
    session.logFileChosen(log);
    ASSERT_TRUE(session.logOn());
    EXPECT_EQ(session.idNumber(), 42u);

    ui.answer = Answer::Cancel;
    session.writeId();
    EXPECT_EQ(ui.messages.back().title, "Write new ID cmd");
    EXPECT_EQ(ui.messages.back().text, "Write ID: 0000000042 to stacker's memory ? \r\n Click on OK  to continue");
    EXPECT_EQ(controller.requestState(cmd::WriteCassetteId), RequestState::Idle);

    ui.answer = Answer::Ok;
    session.writeId();
    EXPECT_EQ(controller.requestState(cmd::WriteCassetteId), RequestState::Requested);
    EXPECT_EQ(host.stores.cassette.idToWrite, cassetteIdRecord(42));
    EXPECT_EQ(session.idNumber(), 43u);
    EXPECT_EQ(session.logLines().back(), "0000000042");
    EXPECT_EQ(readAll(log), "0000000040\r\r\n0000000041\r\r\n0000000042\r\r\n");

    session.setIdNumber(41);
    const size_t asked = ui.messages.size();
    session.writeId();
    ASSERT_EQ(ui.messages.size(), asked + 1);
    EXPECT_EQ(ui.messages.back().text, "The ID number 0000000041 already exists.\r\n Please select new number.");

    session.setIdNumber(0);
    session.writeId();
    EXPECT_EQ(ui.messages.back().text, "Enter number greater than zero");
}

TEST_F(CassetteFixture, WithoutTheLogTheSameIdMayBeWrittenAgain) {
    session.open();
    ASSERT_TRUE(session.setIdNumberText("7"));
    session.writeId();
    session.writeId();
    EXPECT_EQ(session.idNumber(), 7u);
    EXPECT_EQ(texts(), (std::vector<std::string>(2,
                                                 "Write new ID cmd|Write ID: 0000000007 to stacker's memory ? "
                                                 "\r\n Click on OK  to continue")));
}

TEST_F(CassetteFixture, WriteRefusesABoxThatHoldsNoId) {
    session.open();
    ASSERT_TRUE(session.setIdNumberText("77"));
    struct Case {
        const char* box;
        const char* said;
    };
    for (const Case c :
         {Case{"4294967296", "Please enter an integer between 0 and 4294967295."},
          Case{"7x", "Please enter a positive integer."}, Case{"", "Please enter a positive integer."}}) {
        EXPECT_FALSE(session.setIdNumberText(c.box));
        session.writeId();  // not 77, which the box no longer shows
        EXPECT_EQ(texts().back(), std::string("Info|") + c.said) << c.box;
        EXPECT_EQ(controller.requestState(cmd::WriteCassetteId), RequestState::Idle);
    }
    ASSERT_TRUE(session.setIdNumberText("4294967295"));
    session.writeId();
    EXPECT_EQ(controller.requestState(cmd::WriteCassetteId), RequestState::Requested);
    EXPECT_EQ(host.stores.cassette.idToWrite, cassetteIdRecord(4294967295u));
}

TEST_F(CassetteFixture, TheIdFieldShowsOnlyAnAnswerToThisRead) {
    host.stores.cassette.idReply = {0, 0, 0, 0, 0, 41, 0, 0};  // an earlier read's
    session.open();
    session.readId();
    EXPECT_EQ(controller.requestState(cmd::ReadCassetteId), RequestState::Requested);
    controller.clearRequest(cmd::ReadCassetteId);  // the read is given up
    session.onCassetteDataRefreshed();             // READ DATA's answer comes in
    EXPECT_EQ(session.idFieldText(), "");
}

TEST_F(CassetteFixture, ReopeningKeepsTheChosenLogFile) {
    const std::string log = dir.file("line-b.txt");
    writeAll(log, "0000000099\n");
    ASSERT_TRUE(session.logOptionClicked());
    session.logFileChosen(log);
    session.open();  // the window is closed and opened again
    EXPECT_EQ(session.logPath(), log);
    EXPECT_EQ(session.logLines(), std::vector<std::string>{"0000000099"});
    EXPECT_EQ(session.idNumber(), 100u);

    // Unticking empties the list; a cancelled file choice leaves the option off.
    EXPECT_FALSE(session.logOptionClicked());
    EXPECT_FALSE(session.logOn());
    EXPECT_TRUE(session.logLines().empty());
    ASSERT_TRUE(session.logOptionClicked());
    session.logFileCancelled();
    EXPECT_FALSE(session.logOn());
}

TEST_F(CassetteFixture, ViewsAndTheirCaptions) {
    session.open();
    EXPECT_STREQ(session.viewTitle(), "Bill Counts");
    EXPECT_FALSE(session.pageButtonEnabled());
    session.showFaults();
    EXPECT_STREQ(session.viewTitle(), "Fault Counts");
    EXPECT_STREQ(session.pageButtonCaption(), "Next >>");
    session.flipFaultPage();
    EXPECT_STREQ(session.pageButtonCaption(), "<< Prev");
    EXPECT_EQ(session.faultView()[0].event, 10);
    EXPECT_EQ(session.idFieldText(), "");

    ui.answer = Answer::Cancel;
    host.stores.cassette.billCounts[3] = 5;
    session.clearData();
    EXPECT_EQ(host.stores.cassette.billCounts[3], 5);
    EXPECT_EQ(ui.messages.back().text, "The SDA data block will be erased. \r\n Click on OK to continue.");
    ui.answer = Answer::Ok;
    session.clearData();
    EXPECT_EQ(host.stores.cassette.billCounts[3], 0);
    EXPECT_EQ(controller.requestState(cmd::EraseSda), RequestState::Requested);
}

TEST(CassetteControls, SensorTextsAndTheRefusalWhileNotPolled) {
    test::RecordingUi ui;
    ControllerHost host(ui);
    CassetteControlsSession session(host.controller, ui);
    EXPECT_FALSE(session.cycleCassette());
    EXPECT_FALSE(session.readSensor());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "No connection");
    EXPECT_TRUE(host.block.transmitFree());  // nothing left to go out at the next CONNECT

    struct Case {
        uint8_t sensor, s2;
        const char *sensorText, *cassetteText;
    };
    const Case cases[] = {{1, 0x00, "CLOSED", "ATTACHED"},
                          {0, 0x00, "OPEN", "ATTACHED"},
                          {2, 0x04, "OPEN", "DETACHED"},
                          {255, 0x04, "OPEN", "DETACHED"}};
    for (const Case& c : cases) {
        host.stores.status.current[2] = c.s2;
        session.onSensorReply(c.sensor);
        EXPECT_EQ(session.sensorText(), c.sensorText) << int(c.sensor);
        EXPECT_EQ(session.cassetteText(), c.cassetteText) << int(c.sensor);
    }
}

TEST(CassetteE2E, WriteReadAndClearAgainstTheSimulatedCassette) {
    test::AccessoryRig rig;
    rig.connect();
    ASSERT_TRUE(rig.sim.execute("insert 3").empty());
    const auto& events = rig.host.stores.events.lines();
    ASSERT_TRUE(rig.tickUntil(
        [&] { return std::find(events.begin(), events.end(), "bill stacked : EUR  20") != events.end(); }));

    rig.cassette.open();
    rig.cassette.setIdNumber(1234567);
    rig.cassette.writeId();
    rig.ticks(2);
    // The simulated cassette keeps an ID only when its check value is right.
    EXPECT_EQ(rig.sim.withModel([](sim::ValidatorModel& m) { return m.memory().cassette.id(); }), 1234567u);

    rig.cassette.readId();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.ui.refreshed.size() && rig.host.stores.cassette.idReply[5] == 0x87; }));
    rig.cassette.onCassetteDataRefreshed();  // as the window learns of it today
    EXPECT_EQ(rig.cassette.idFieldText(), "0001234567");

    rig.cassette.readData();
    ASSERT_TRUE(rig.tickUntil([&] {
        return rig.host.controller.requestState(cmd::ReadCassFaultBuf) == RequestState::Idle &&
               rig.host.stores.cassette.billCounts[3] == 1;
    }));
    EXPECT_EQ(rig.cassette.billView().stackedBills, 1u);

    rig.cassette.clearData();
    rig.ticks(2);
    rig.cassette.readData();
    rig.ticks(3);
    EXPECT_EQ(rig.host.stores.cassette.billCounts[3], 0);

    // A detached cassette: the host refuses before anything is sent.
    ASSERT_TRUE(rig.sim.execute("detach").empty());
    rig.ticks(2);
    rig.cassette.readId();
    EXPECT_EQ(rig.ui.messages.back().text, "No Cassette Attached");

    rig.controls.readSensor();
    rig.ticks(2);
    EXPECT_EQ(rig.controls.sensorText(), "OPEN");
    EXPECT_EQ(rig.controls.cassetteText(), "DETACHED");
    EXPECT_TRUE(rig.controls.cycleCassette());
}

}  // namespace
}  // namespace halvek
