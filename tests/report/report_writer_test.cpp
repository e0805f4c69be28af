#include "report/report_writer.h"

#include <gtest/gtest.h>

#include "report/report_file.h"
#include "report_fixture.h"

namespace halvek {
namespace {

ReportOptions parts(bool statistics, bool sensors, bool optics, bool video) {
    ReportOptions o;
    o.statistics = statistics, o.sensors = sensors, o.mainOptics = optics, o.video = video;
    o.serialNumber = "123";
    return o;
}

TEST(ReportWriter, WholeReportsMatchTheirFilesByteForByte) {
    struct Case {
        const char* file;
        bool l8v;
        ReportOptions options;
    } cases[] = {
        {"l8v_all.TXT", true, parts(true, true, true, true)},
        {"l8_statistics_sensors.TXT", false, parts(true, true, false, false)},
        // Without statistics there is no header: the file starts with the sensors.
        {"l8_sensors.TXT", false, parts(false, true, false, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string expected = test::expectedReport(c.file);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(writeReport(test::reportFixture(c.l8v), c.options, test::kFixtureTime), expected);
    }
    EXPECT_EQ(writeReport(test::reportFixture(true), parts(false, false, false, false), test::kFixtureTime), "");
}

std::string rateLine(const Stores& s) {
    const std::string report = writeReport(s, parts(true, false, false, false), test::kFixtureTime);
    const size_t at = report.find(" Acceptance Rate");
    return report.substr(at, report.find('\n', at) + 1 - at);
}

TEST(ReportWriter, AcceptanceRateNeedsAHundredBills) {
    struct Case {
        uint16_t bills;
        uint16_t optical, disabled, security, magnetic;
        const char* line;
    } cases[] = {
        {99, 0, 0, 0, 0, " Acceptance Rate : not enough data\r\n"},
        {100, 0, 0, 0, 0, " Acceptance Rate : 100.00 %\r\n"},
        // Disabled entries count as good; magnetic rejections are left out.
        {100, 10, 5, 5, 50, " Acceptance Rate : 87.50 %\r\n"},
        {300, 1, 0, 0, 0, " Acceptance Rate : 99.67 %\r\n"},
        {100, 1900, 0, 0, 0, " Acceptance Rate :  5.00 %\r\n"},  // five wide
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Stores s;
        s.statistics.billCounts[0] = static_cast<uint16_t>(c.bills - 1);
        s.statistics.billCounts[63] = 1;  // the total covers all 64 types
        s.statistics.eventCounts[1] = c.optical;
        s.statistics.eventCounts[2] = c.disabled;
        s.statistics.eventCounts[3] = c.security;
        s.statistics.eventCounts[6] = c.magnetic;
        EXPECT_EQ(rateLine(s), c.line);
    }
}

TEST(ReportWriter, HeaderShowsTheRevisionAsReceivedAndTheTimeWithoutLeadingZeros) {
    Stores s;  // never read: no revision, zeros everywhere
    const std::string r = writeReport(s, parts(true, false, false, false), ReportTime{2025, 12, 31, 23, 59, 0});
    EXPECT_NE(r.find("\r\n          Program Rev...: \r\n"), std::string::npos);
    EXPECT_NE(r.find("          Date..........: 12-31-2025.\r\n          Time..........: 23:59:0.\r\n\r\n"),
              std::string::npos);
}

TEST(ReportWriter, ProposedFileName) {
    struct Case {
        bool l8v;
        const char* serial;
        const char* name;
    } cases[] = {
        {true, "123", "L8V_123.TXT"},
        {false, "123", "L8_123.TXT"},
        {false, "", "L8_.TXT"},
        {true, "A1/2", "L8V_A1_2.TXT"},  // never a file in another folder
    };
    for (const Case& c : cases) EXPECT_EQ(proposedReportFileName(c.l8v, c.serial), c.name);
    EXPECT_EQ(limitSerialNumber("1234567890ABCDEF"), "1234567890AB");
}

// A line end or other control character in the revision the validator sent, or
// in the serial number typed, must not split the header's lines.
TEST(ReportWriter, ControlCharactersInTheHeaderTextsStayOnTheirLine) {
    Stores s = test::reportFixture(true);
    s.identity.revision = {'V', '1', '\n', '2', '\r', 'X', 0, 0, 0};
    ReportOptions o = parts(true, false, false, false);
    o.serialNumber = std::string("12\n3\0", 5);
    const std::string report = writeReport(s, o, test::kFixtureTime);
    EXPECT_NE(report.find("          Unit Ser. Num.: 12?3?\r\n"), std::string::npos);
    EXPECT_NE(report.find("          Program Rev...: V1?2?X\r\n"), std::string::npos);
}

}  // namespace
}  // namespace halvek
