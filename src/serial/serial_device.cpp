#include "serial/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/port_doctor.h"

namespace halvek {
namespace {

DeviceOpenResult failure(int fd, const std::string& path, const char* what, int err) {
    if (fd >= 0) ::close(fd);
    DeviceOpenResult r;
    r.error = err;
    r.message = std::string(what) + " " + path + ": " + std::strerror(err);
    if (err == EACCES || err == EPERM) {
        // The fix depends on the node's owner, group and mode: the doctor knows them.
        const std::string advice = permissionAdvice(path);
        r.message += advice.empty() ? " (ask for read and write rights on it; 'halvek-cli doctor --port " + path +
                                          "' looks into why)"
                                    : " (" + advice + ")";
    } else if (err == EBUSY || err == EWOULDBLOCK)
        r.message += " (another program is using the port)";
    return r;
}

// FTDI adapters hold received bytes for up to 16 ms unless asked not to.
void requestLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= static_cast<int>(ASYNC_LOW_LATENCY);  // bit 13 of the kernel's int field
        ioctl(fd, TIOCSSERIAL, &ss);
    }
}

// A pseudo-terminal takes every setting but parity, and the C library then
// reports the whole change as refused. Everything else did reach the line.
bool appliedButParity(int fd, const termios& wanted) {
    if (errno != EINVAL) return false;
    termios now{};
    if (tcgetattr(fd, &now) != 0) return false;
    const tcflag_t parity = PARENB | PARODD;
    return (now.c_cflag & ~parity) == (wanted.c_cflag & ~parity) && now.c_iflag == wanted.c_iflag &&
           cfgetospeed(&now) == cfgetospeed(&wanted);
}

}  // namespace

DeviceOpenResult openSerialDevice(const std::string& path, int baud, Parity parity, bool nonBlocking) {
    if (baudConstant(baud) == B0) return failure(-1, path, "cannot set the line speed of", EINVAL);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failure(-1, path, "cannot open", errno);
    // The port is not shared: TIOCEXCL refuses later openers (except the
    // superuser), the lock refuses every other Halvek, superuser or not.
    // A port closed a moment ago stays locked until the reader thread's poll()
    // on it has returned: give that a moment before calling the port busy.
    for (int tries = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; ++tries) {
        if (errno != EWOULDBLOCK || tries == 20) return failure(fd, path, "cannot lock", errno);
        ::usleep(10000);
    }
    ioctl(fd, TIOCEXCL);
    termios current{};
    if (tcgetattr(fd, &current) != 0) return failure(fd, path, "not a serial line:", errno);
    const termios wanted = makeLineSettings(current, baud, parity);
    if (tcsetattr(fd, TCSANOW, &wanted) != 0 && !appliedButParity(fd, wanted))
        return failure(fd, path, "cannot set the line settings of", errno);
    tcflush(fd, TCIOFLUSH);
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);  // not supported by pseudo-terminals: ignored
    requestLowLatency(fd);
    if (!nonBlocking) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    DeviceOpenResult r;
    r.fd = fd;
    r.settings = wanted;
    return r;
}

void closeSerialDevice(int fd, bool discardOutput) {
    if (fd < 0) return;
    const int dtr = TIOCM_DTR;
    ioctl(fd, TIOCMBIC, &dtr);
    tcflush(fd, discardOutput ? TCIOFLUSH : TCIFLUSH);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace halvek
