#include "serial/line_settings.h"

namespace halvek {

speed_t baudConstant(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

termios makeLineSettings(const termios& current, int baud, Parity parity) {
    termios t = current;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | IGNPAR);
    // With parity checked, the driver marks a byte that arrived with a parity
    // or framing error as 0xFF 0x00 b and doubles a real 0xFF: left unmarked, a
    // bad byte would arrive as 0x00, which looks like data.
    if (parity == Parity::Even) {
        t.c_cflag |= PARENB;
        t.c_iflag |= INPCK | PARMRK;
    }
    // With one byte minimum a non-blocking read of an empty queue says EAGAIN,
    // so that a read of 0 bytes means the line has hung up. The reader blocks in poll().
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    const speed_t speed = baudConstant(baud);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

}  // namespace halvek
