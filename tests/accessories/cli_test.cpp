#include <gtest/gtest.h>

#include <sstream>

#include "cli/cassette.h"
#include "sim/printer/printer_sim.h"
#include "sim/sim_server.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

struct Result {
    int status;
    std::string out, err;
};

template <class Command>
Result run(Command command, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = command(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CassetteCli, WriteReadAndClearTheSimulatedCassette) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    const std::string port = sim.devicePath();

    Result r = run(cli::runCassette, {"write-id", "1234567", "--port", port});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "cassette id written: 0001234567\n");

    r = run(cli::runCassette, {"read", "--port", port, "--q7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("cassette id: 0001234567\nbill  denom  count\n01    5      0\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("1    0      return before evaluation     \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("18   0      bill returned by controller  \n"), std::string::npos) << r.out;

    r = run(cli::runCassette, {"clear", "--port", port});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "cassette data erased\n");

    ASSERT_TRUE(sim.execute("detach").empty());
    r = run(cli::runCassette, {"read", "--port", port});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "halvek-cli cassette: Info: No Cassette Attached\n");
}

TEST(CassetteCli, RefusesBadArguments) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"read"},
                                               {"write-id", "0", "--simulate"},
                                               {"write-id", "4294967296", "--simulate"},
                                               {"erase", "--simulate"}}) {
        const Result r = run(cli::runCassette, args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(TicketCli, PrintsOneTicketAndSaysWhyNot) {
    sim::PrinterSim printer;
    ASSERT_TRUE(printer.start());
    Result r = run(cli::runTicket, {"0123", "--printer", printer.devicePath()});
    EXPECT_EQ(r.status, 0) << r.err;
    // The port closes right after the ticket: nothing of it may be lost.
    ASSERT_TRUE(test::eventually([&] { return printer.elements().size() >= 28; }));
    EXPECT_EQ(printer.elements()[9], "GS k 7 4 0123");
    EXPECT_EQ(printer.elements().back(), "FF");

    r = run(cli::runTicket, {"0123", "--printer", "/dev/no-such-printer"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No Connection 2 (cannot open /dev/no-such-printer"), std::string::npos) << r.err;
    // Digits that are no ticket are the command line's fault, whatever their fault: nothing is printed.
    const size_t printed = printer.elements().size();
    for (const char* digits : {"12x", "1234567890123456789012345"}) {
        r = run(cli::runTicket, {digits, "--printer", printer.devicePath()});
        EXPECT_EQ(r.status, 2) << digits;
        EXPECT_NE(r.err.find("usage: halvek-cli ticket"), std::string::npos) << r.err;
    }
    EXPECT_EQ(printer.elements().size(), printed);
}

}  // namespace
}  // namespace halvek
