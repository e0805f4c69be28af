#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include "support/pty_pair.h"

namespace halvek {
namespace {

using test::PtyPair;

TEST(SerialPort, OpensAPseudoTerminalLikeARealLine) {
    PtyPair pty;
    Waker waker;
    SerialPort port(waker);
    ASSERT_TRUE(port.open(pty.slavePath(), Parity::Even, 9600)) << port.lastError();
    EXPECT_TRUE(port.isOpen());

    // The speed is visible from the far end; parity is not (a pty forces 8N1),
    // so the line record the open routine wrote is checked instead.
    termios far{};
    ASSERT_EQ(tcgetattr(pty.master(), &far), 0);
    EXPECT_EQ(cfgetospeed(&far), static_cast<speed_t>(B9600));

    const termios& t = port.lineSettings();
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

    // The firmware loader reopens without parity at another speed.
    ASSERT_TRUE(port.open(pty.slavePath(), Parity::None, 38400)) << port.lastError();
    ASSERT_EQ(tcgetattr(pty.master(), &far), 0);
    EXPECT_EQ(cfgetospeed(&far), static_cast<speed_t>(B38400));
    EXPECT_FALSE(port.lineSettings().c_cflag & PARENB);
    port.close();
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialPort, RefusesASecondOpener) {
    PtyPair pty;
    Waker waker;
    SerialPort first(waker), second(waker);
    ASSERT_TRUE(first.open(pty.slavePath(), Parity::Even, 9600));
    EXPECT_FALSE(second.open(pty.slavePath(), Parity::Even, 9600));
    EXPECT_NE(second.lastError().find(pty.slavePath()), std::string::npos);
    EXPECT_NE(second.lastError().find("another program"), std::string::npos) << second.lastError();
    first.close();
    EXPECT_TRUE(second.open(pty.slavePath(), Parity::Even, 9600)) << second.lastError();
}

TEST(SerialPort, KeepsTheReasonWhenTheDeviceIsMissing) {
    Waker waker;
    SerialPort port(waker);
    EXPECT_FALSE(port.open("/dev/halvek-no-such-port", Parity::Even, 9600));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.lastError(), "cannot open /dev/halvek-no-such-port: No such file or directory");
}

TEST(PrinterPort, WritesWithoutParity) {
    PtyPair pty;
    PrinterPort printer;
    ASSERT_TRUE(printer.open(pty.slavePath(), Parity::None, 9600)) << printer.lastError();
    const uint8_t bytes[] = {0x1B, 0x40, 0x0A};
    ASSERT_TRUE(printer.write(bytes, sizeof bytes));
    EXPECT_EQ(pty.receive(3), (std::vector<uint8_t>{0x1B, 0x40, 0x0A}));
}

}  // namespace
}  // namespace halvek
