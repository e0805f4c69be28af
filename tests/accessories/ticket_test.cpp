#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "accessories/ticket_bytes.h"
#include "accessory_rig.h"
#include "sim/printer/ticket_decoder.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

Bytes ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Written out byte by byte, not built from the element functions.
const Bytes kHeader = {0x1B, 0x40, 0x1D, 0x4E, 65, 0x1D, 0x54, 0, 0x1D, 0x74, 60, 0x1D, 0x56, 0x01};
const Bytes kLines = {0x1B, 0x59, 15, 0x1D, 0x6C, 0, 10, 4, 0, 7, 0x1B, 0x59, 43, 0x1D, 0x6C, 0, 10, 4, 2, 7};
const Bytes kBarCodeSetup = {0x1B, 0x59, 21, 0x1D, 0x41, 0, 100, 0x1D, 0x57, 4, 11, 0x1D, 0x68, 120};
const Bytes kMaker = Bytes{0x1B, 0x58, 1, 10, 0x1B, 0x59, 45, 0x1B, 0x4D} + ascii("- BAR CODE TICKET -") +
                     Bytes{0x1B, 0x58, 1, 0, 0x1B, 0x59, 4} + ascii("QORVANE, INC.") +
                     Bytes{0x1B, 0x58, 1, 60, 0x1B, 0x59, 9} + ascii("TEL: 1-800-555-0142");
const Bytes kNumberLine = {0x1B, 0x58, 0, 100, 0x1B, 0x59, 39};

TEST(TicketBytes, BothLayoutsToTheByte) {
    const Bytes bar0123 = {0x1D, 0x6B, 0x07, 0x04, 0x30, 0x31, 0x32, 0x33};
    EXPECT_EQ(ticketBytes(windowTicket("0123")),
              kHeader + kBarCodeSetup + bar0123 + kLines + kMaker + kNumberLine + ascii("0123") + Bytes{0x0C});
    const Bytes barCoupon = Bytes{0x1D, 0x6B, 0x07, 13} + ascii("4711000012345");
    EXPECT_EQ(ticketBytes(couponTicket("4711000012345")), kHeader + kLines + kBarCodeSetup + barCoupon + kNumberLine +
                                                              ascii("4711000012345") + kMaker + Bytes{0x0C});
    EXPECT_EQ(windowTicket("1").size(), 28u);  // elements written one by one
}

TEST(TicketBytes, ACouponCodeThatCannotBePrintedIsRefused) {
    struct Case {
        std::string code;
        const char* fault;  // nullptr: printed
    };
    const Case cases[] = {
        {"4711000012345", nullptr},
        {" ~AZ", nullptr},
        {std::string(255, '7'), nullptr},
        {"", "the coupon has no code"},
        {std::string(256, '7'), "the code has 256 characters, a bar code at most 255"},
        {"12\x1B@34", "the code holds the byte 0x1B, which is not a printable character"},
        {"12\x1DV\x01", "the code holds the byte 0x1D, which is not a printable character"},
        {"\x0C", "the code holds the byte 0x0C, which is not a printable character"},
        {"1\x7F", "the code holds the byte 0x7F, which is not a printable character"},
        {"1\xC3\xA9", "the code holds the byte 0xC3, which is not a printable character"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(couponCodeFault(c.code), c.fault ? c.fault : "") << shownCode(c.code);
        EXPECT_EQ(couponTicket(c.code).empty(), c.fault != nullptr) << shownCode(c.code);
    }
    EXPECT_EQ(shownCode("12\x1B@\x0C"), "12\\x1B@\\x0C");
    EXPECT_EQ(shownCode("a\\b"), "a\\x5Cb");  // \xNN always means a byte
}

TEST(TicketDecoder, NamesEveryElementWhateverThePieces) {
    const Bytes all = ticketBytes(windowTicket("0123"));
    for (size_t piece : {all.size(), size_t{1}, size_t{3}}) {
        Strings seen;
        sim::TicketDecoder decoder([&seen](const std::string& e) { seen.push_back(e); });
        for (size_t i = 0; i < all.size(); i += piece) decoder.feed(all.data() + i, std::min(piece, all.size() - i));
        ASSERT_EQ(seen.size(), 28u) << piece;
        EXPECT_EQ(Strings(seen.begin(), seen.begin() + 10),
                  (Strings{"ESC @", "GS N 65", "GS T 0", "GS t 60", "GS V 1", "ESC Y 21", "GS A 0 100", "GS W 4 11",
                           "GS h 120", "GS k 7 4 0123"}))
            << piece;
        EXPECT_EQ(seen[11], "GS l 0 10 4 0 7");
        EXPECT_EQ(seen[16], "ESC M");
        EXPECT_EQ(seen[17], "text \"- BAR CODE TICKET -\"");
        EXPECT_EQ(seen.back(), "FF");
    }
    Strings odd;
    sim::TicketDecoder decoder([&odd](const std::string& e) { odd.push_back(e); });
    const Bytes unknown = {0x1B, 0x21, 'a', 'b', 0x0C};
    decoder.feed(unknown.data(), unknown.size());
    EXPECT_EQ(odd, (Strings{"ESC 0x21", "text \"ab\"", "FF"}));
}

struct PrinterFixture : testing::Test {
    PrinterFixture() {
        printerSim.start();
        ports.set(2, printerSim.devicePath());
        ports.set(1, "/dev/null-validator");
        session.setValidatorPath([this] { return validatorPath; });
        session.setListener(&listener);
        EXPECT_TRUE(session.setPortIndex(1));
    }
    struct Listener : TicketPrinterListener {
        void printerChanged() override { ++changes; }
        void printFailed(const std::string& text, const std::string& reason) override {
            failures.push_back(text + " / " + reason);
        }
        int changes = 0;
        Strings failures;
    };
    sim::PrinterSim printerSim;
    PortMap ports;
    test::RecordingUi ui;
    EventList events;
    TicketPrinterSession session{ports, ui, events};
    Listener listener;
    std::string validatorPath = "/dev/null-validator";
};

TEST_F(PrinterFixture, PrintChecksTheDigitsAndSendsTheTicket) {
    ASSERT_TRUE(session.openPort());
    EXPECT_FALSE(session.setPortIndex(2));  // not while open
    for (const char* bad : {"", "12a4", "1 2", "1234567890123456789012345"}) {
        EXPECT_FALSE(session.print(bad)) << bad;
        EXPECT_EQ(ui.messages.back().text, "Enter digits only!");
    }
    ASSERT_TRUE(session.print("123456789012345678901234"));
    EXPECT_EQ(session.digitBuffer(), "123456789012345678901234");
    ASSERT_TRUE(test::eventually([&] { return printerSim.elements().size() >= 28; }));
    EXPECT_EQ(printerSim.elements()[9], "GS k 7 24 123456789012345678901234");
    EXPECT_EQ(printerSim.elements()[26], "text \"123456789012345678901234\"");
    session.closePort();
    EXPECT_FALSE(session.isOpen());
}

TEST_F(PrinterFixture, RefusesTheValidatorsPortAndASecondOpener) {
    validatorPath = printerSim.devicePath();
    EXPECT_FALSE(session.openPort());
    EXPECT_EQ(ui.messages.back().text, "No Connection 2");
    EXPECT_NE(ui.messages.back().detail.find("validator"), std::string::npos) << ui.messages.back().detail;

    validatorPath = "/dev/null-validator";
    ASSERT_TRUE(session.openPort());
    PrinterPort other;
    EXPECT_FALSE(other.open(printerSim.devicePath(), Parity::None, 9600));  // opened exclusively
    EXPECT_FALSE(session.setPortIndex(3));
}

TEST_F(PrinterFixture, APrinterThatStopsReadingIsReportedAndHoldsNothing) {
    ASSERT_TRUE(session.openPort());
    printerSim.setStalled(true);
    // The line takes some tickets into its buffers; then a write times out.
    int printed = 0;
    while (printed < 2000 && session.print("0123")) ++printed;
    EXPECT_LT(printed, 2000);
    ASSERT_EQ(listener.failures.size(), 1u);
    EXPECT_NE(listener.failures[0].find("ticket not printed: 0123 / the printer takes no data"), std::string::npos)
        << listener.failures[0];
    EXPECT_EQ(events.lines()[0], "ticket not printed: 0123");

    // A coupon ticket is never lost without a word: either it is reported as not
    // printed, or the line took it after all and the printer prints it once it reads again.
    session.onCouponStacked("777");
    EXPECT_TRUE(session.isOpen());
    if (events.lines()[1] != "coupon ticket not printed: 777") {
        EXPECT_EQ(events.lines()[1], "");
        printerSim.setStalled(false);
        EXPECT_TRUE(test::eventually([&] {
            const auto got = printerSim.elements();
            return std::find(got.begin(), got.end(), "text \"777\"") != got.end();
        }));
    }
}

TEST(TicketE2E, AStackedCouponIsPrintedWithItsCode) {
    for (bool extended : {true, false}) {
        test::AccessoryRig rig(extended);
        rig.connect();
        ASSERT_TRUE(rig.printer.setPortIndex(1));
        ASSERT_TRUE(rig.printer.openPort());
        ASSERT_TRUE(rig.sim.execute("coupon 4711000012345").empty());
        ASSERT_TRUE(rig.tickUntil([&] { return rig.printerSim.elements().size() >= 28; })) << extended;
        const Strings got = rig.printerSim.elements();
        EXPECT_EQ(got[13], "GS k 7 13 4711000012345");
        EXPECT_EQ(got[16], "text \"4711000012345\"");
        EXPECT_EQ(got.back(), "FF");

        // The port, not the window, decides: closed, no ticket.
        rig.printer.closePort();
        rig.printerSim.clear();
        ASSERT_TRUE(rig.sim.execute("coupon 99").empty());
        ASSERT_TRUE(rig.tickUntil([&] {
            const auto& lines = rig.host.stores.events.lines();
            return std::find(lines.begin(), lines.end(), "coupon: 99") != lines.end();
        }));
        rig.ticks(3);
        EXPECT_TRUE(rig.printerSim.elements().empty());
    }
}

// Records what the controller tells its listeners and the printer tells its window.
struct Heard : StatusListener, TicketPrinterListener {
    void eventAdded(const std::string& text) override { events.push_back(text); }
    void printerChanged() override {}
    void printFailed(const std::string& text, const std::string& reason) override {
        window.push_back(text + " / " + reason);
    }
    Strings events, window;
};

TEST(TicketE2E, ACouponCodeWithPrinterCommandsNeverReachesThePrinter) {
    test::AccessoryRig rig;
    Heard heard;
    rig.host.controller.addStatusListener(&heard);
    rig.printer.setListener(&heard);
    rig.connect();
    ASSERT_TRUE(rig.printer.setPortIndex(1));
    ASSERT_TRUE(rig.printer.openPort());
    // "12", ESC @ (reset), "3", GS V 1 (cut), FF.
    ASSERT_TRUE(rig.sim.execute("coupon-hex 31321B40331D56010C").empty());
    const std::string said =
        "coupon ticket not printed: 12\\x1B@3\\x1DV\\x01\\x0C (the code holds the byte 0x1B, which is not a "
        "printable character)";
    ASSERT_TRUE(rig.tickUntil([&] {
        return std::find(heard.events.begin(), heard.events.end(), said) != heard.events.end();
    })) << testing::PrintToString(heard.events);
    const auto& lines = rig.host.stores.events.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), said), lines.end());
    // The coupon's own event carries no control byte either (the event list, the journal).
    const std::string coupon = "coupon: 12\\x1B@3\\x1DV\\x01\\x0C";
    EXPECT_NE(std::find(heard.events.begin(), heard.events.end(), coupon), heard.events.end())
        << testing::PrintToString(heard.events);
    ASSERT_EQ(heard.window.size(), 1u);
    EXPECT_EQ(heard.window[0], said + " / the code holds the byte 0x1B, which is not a printable character");

    // The next good coupon prints, and its ticket is the first thing the printer got.
    ASSERT_TRUE(rig.sim.execute("coupon 4711").empty());
    ASSERT_TRUE(rig.tickUntil([&] { return rig.printerSim.elements().size() >= 28; }));
    const Strings got = rig.printerSim.elements();
    EXPECT_EQ(got.size(), 28u);
    EXPECT_EQ(got.front(), "ESC @");
    EXPECT_EQ(got[13], "GS k 7 4 4711");
    rig.host.controller.removeStatusListener(&heard);
}

}  // namespace
}  // namespace halvek
