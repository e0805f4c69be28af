// halvek-cli read stats|sensors|optics against the simulated validator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "cli/read.h"
#include "cli/read_targets.h"
#include "link/controller_host.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

struct Result {
    int status;
    std::string out, err;
};

Result read(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::runRead(args, out, err);
    return {status, out.str(), err.str()};
}

std::string line(const std::string& text, int n) {
    std::istringstream in(text);
    std::string l;
    for (int i = 0; i <= n; ++i) std::getline(in, l);
    return l;
}

// A hostile unit's letters (ESC, BEL, CR, LF, bytes that are no UTF-8) reach
// neither the terminal nor a JSON reader raw: text and JSON show the same \xNN.
TEST(ReadPagesCli, TheUnitsBytesAreEscapedInTextAndJson) {
    NullUserInterface ui;
    ControllerHost host(ui);
    host.stores.bills.table[0] = {1, 0x1B, '\n', 0xC3, 10, 0};
    host.stores.bills.tableLoaded = true;
    host.stores.bills.recomputeValues(true);
    const char revision[] = "L8\x07\rA\xFF\"\\";
    std::copy(std::begin(revision), std::end(revision), host.stores.identity.revision.begin());
    struct Case {
        void (*print)(const LinkController&, std::ostream&, bool);
        bool json;
        std::string shown;
    } cases[] = {
        {cli::printBills, false, " \\x1B\\n\\xC3 "},
        {cli::printBills, true, "\"currency\":\"\\\\x1B\\\\n\\\\xC3\""},
        {cli::printIdentity, false, "revision         L8\\x07\\rA\\xFF\"\\\n"},
        {cli::printIdentity, true, "\"revision\":\"L8\\\\x07\\\\rA\\\\xFF\\\"\\\\\""},
        {cli::printIdentity, false, "unit type        A\n"},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        c.print(host.controller, out, c.json);
        EXPECT_NE(out.str().find(c.shown), std::string::npos) << c.shown << " missing from\n" << out.str();
        for (const char ch : out.str()) {
            const auto b = static_cast<unsigned char>(ch);
            EXPECT_TRUE(b == '\n' || (b >= 0x20 && b < 0x7F)) << "raw byte " << int{b} << " in\n" << out.str();
        }
    }
    host.close();
}

// A device path holding escape sequences (from halvek.ini or the environment)
// is named escaped when it cannot be opened.
TEST(ReadPagesCli, AnOddDevicePathIsEscapedInTheReason) {
    ::setenv("HALVEK_COM7", "/dev/halvek-\x1B]0;owned\x07", 1);
    const Result r = read({"bills", "--com", "7"});
    ::unsetenv("HALVEK_COM7");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/dev/halvek-\\x1B]0;owned\\x07"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
}

TEST(ReadPagesCli, StatisticsAsTextAndJson) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    sim.withModel([](sim::ValidatorModel& m) {
        m.memory().billCounts[0] = 100;  // type 1
        m.memory().billCounts[39] = 20;  // type 40
        m.memory().eventCounts[1] = 9;   // did not pass optical test
        return 0;
    });
    Result r = read({"stats", "--port", sim.devicePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line(r.out, 0), " accepted bills total:   120                   Num  Count     Event description");
    EXPECT_EQ(line(r.out, 1), "01  100    09  0      17  0       25 0           1    0       not used");
    EXPECT_EQ(line(r.out, 2),
              "02  0      10  0      18  0       26 0           2    9       did not pass optical test");
    // 120 bills, 9 optical rejections: 120 / (120 + 9 x 4/9) and 120 / 129.
    EXPECT_EQ(line(r.out, 9), " PERFORMANCE:        96.77   %                   9    0       stringing attempt");
    EXPECT_EQ(line(r.out, 10), "");
    EXPECT_EQ(line(r.out, 19), "40  20     48  0      56  0       64 0          17    0       not used");
    EXPECT_EQ(line(r.out, 20),
              " stat. accptance:    93.02   %                  18    0       bill returned by controller");

    r = read({"stats", "--port", sim.devicePath(), "--json", "--q7"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"acceptedTotal\":100,\"bills\":[{\"type\":1,\"count\":100},{\"type\":2,\"count\":0}", 0),
              0u)
        << "short frames carry types 1-16 only: " << r.out;
    EXPECT_NE(r.out.find("{\"number\":2,\"count\":9,\"description\":\"did not pass optical test    \"}"),
              std::string::npos);
    EXPECT_NE(r.out.find(",\"performance\":96.15,\"acceptance\":91.74}\n"), std::string::npos) << r.out;
}

TEST(ReadPagesCli, SensorsOfBothVariants) {
    sim::SimServer l8v;
    ASSERT_TRUE(l8v.start());
    Result r = read({"sensors", "--port", l8v.devicePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line(r.out, 0), "variant: L8V");
    EXPECT_EQ(line(r.out, 1), "  Sensor            Gain (hex)     Target       Reading      Status");
    EXPECT_EQ(line(r.out, 2), "  Sidelook            0153            100              101    open");
    EXPECT_EQ(line(r.out, 7), "  Temperature       Current: 27    At vla : 24  Barcode      Emitter: 52");
    r = read({"sensors", "--port", l8v.devicePath(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"variant\":\"L8V\",\"sensors\":[{\"name\":\"Sidelook\",\"gain\":339,\"target\":100,"
                          "\"reading\":101,\"status\":\"open\"}",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\"temperature\":{\"current\":27,\"atVla\":24}}\n"), std::string::npos) << r.out;

    sim::SimOptions o;
    o.variant = sim::Variant::L8;
    o.failSensors = true;
    sim::SimServer l8(o);
    ASSERT_TRUE(l8.start());
    r = read({"sensors", "--port", l8.devicePath(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"variant\":\"L8\",\"sidelook\":{\"gain\":308,\"reading\":97},\"front\":\"closed\",\"rear\":\"closed\","
              "\"barcodeEmitter1\":50,\"barcodeEmitter2\":51,\"temperature\":{\"current\":27,\"atVla\":24}}\n");
    r = read({"sensors", "--port", l8.devicePath()});
    EXPECT_EQ(line(r.out, 2), "  Sidelook            Gain:           134       reading:      097");
}

TEST(ReadPagesCli, OpticsInLongFramesOnly) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    Result r = read({"optics", "--port", sim.devicePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line(r.out, 0), "variant: L8V");
    EXPECT_EQ(line(r.out, 1), "light: red");
    EXPECT_EQ(line(r.out, 2), " Optics Settings                    ch 3     ch 1     ch 0      ch 2     ch 4");
    EXPECT_EQ(line(r.out, 3), " Transm. white levels                192      194      190       193      191");
    r = read({"optics", "--port", sim.devicePath(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"red\":{\"transmissiveWhite\":[190,194,193,192,191]"), std::string::npos) << r.out;
    // Gains are numbers, not the page's hexadecimal text; the fourth light is named as the video levels name it.
    EXPECT_NE(r.out.find("\"transmissiveGains\":[384,400,416,432,448]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",\"infrared\":{\"transmissiveWhite\":["), std::string::npos) << r.out;

    r = read({"optics", "--port", sim.devicePath(), "--q7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "halvek-cli read: Available only in Q7E mode\n");
}

// The L8 sends the high part of a transmissive gain in the upper four bits of its
// first byte: its gains read whole, as the L8V's do (a failing unit's 0x3FF too).
TEST(ReadPagesCli, OpticsGainsOfAnL8ReadWhole) {
    sim::SimOptions o;
    o.variant = sim::Variant::L8;
    o.failOptics = true;
    sim::SimServer sim(o);
    ASSERT_TRUE(sim.start());
    const Result r = read({"optics", "--port", sim.devicePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line(r.out, 0), "variant: L8");
    EXPECT_EQ(line(r.out, 6), " Transm. gains (hex)        1D0      1B0      190      3FF       1A0      1C0      1E0")
        << r.out;
}

// A read moves no money: a bill waiting in escrow is neither accepted nor credited.
TEST(ReadPagesCli, ABillInEscrowIsLeftToTheUnit) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(sim.execute("insert 4"), "");
    const Result r = read({"stats", "--port", sim.devicePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }), 0u);
}

TEST(ReadPagesCli, ALostReadIsAskedAgainAndARefusedOneEndsTheWait) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    // Two "read stats" frames lost on the way in: the link gives each up, the console asks again.
    ASSERT_EQ(sim.execute("drop DD 2"), "");
    Result r = read({"stats", "--port", sim.devicePath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(line(r.out, 0).rfind(" accepted bills total:", 0), 0u) << r.out;

    ASSERT_EQ(sim.execute("unsupported DD"), "");
    r = read({"stats", "--port", sim.devicePath()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("halvek-cli read: the validator refused \"read stats\"\n"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace halvek
