#include "serial/serial_port.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/serial_device.h"

namespace halvek {

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(const std::string& path, Parity parity, int baud) {
    close();
    path_ = path;
    DeviceOpenResult r = openSerialDevice(path, baud, parity, true);
    lastErrno_ = r.error;
    lastError_ = r.message;
    if (r.fd < 0) return false;
    {
        std::lock_guard lock(mutex_);
        fd_ = r.fd;
        ++generation_;
        settings_ = r.settings;
        open_.store(true, std::memory_order_release);
    }
    waker_.wake();
    return true;
}

bool SerialPort::drain(int limitMs) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return false;
    // tcdrain() has no time limit: wait for the driver's queue with one, then
    // let tcdrain() see the last bytes out of the UART.
    for (int waited = 0;; ++waited) {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued == 0) break;
        if (waited >= limitMs) return false;
        ::usleep(1000);
    }
    return tcdrain(fd_) == 0;
}

void SerialPort::close() { closeWith(true); }

void SerialPort::closeDrained(int limitMs) { closeWith(!drain(limitMs)); }

void SerialPort::closeWith(bool discardOutput) {
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return;
        open_.store(false, std::memory_order_release);
        closeSerialDevice(fd_, discardOutput);
        fd_ = -1;
        ++generation_;
    }
    waker_.wake();
}

SerialPort::Snapshot SerialPort::snapshot() const {
    std::lock_guard lock(mutex_);
    return {fd_, generation_, fd_ >= 0, fd_ >= 0 && (settings_.c_iflag & PARMRK) != 0};
}

SerialPort::Io SerialPort::read(const Snapshot& s, uint8_t* buffer, size_t n, size_t& count) {
    count = 0;
    std::lock_guard lock(mutex_);
    if (s.generation != generation_ || fd_ < 0) return Io::Stale;
    for (;;) {
        const ssize_t r = ::read(fd_, buffer, n);
        if (r > 0) {
            count = static_cast<size_t>(r);
            return Io::Done;
        }
        // A non-blocking read that returns 0 means the other end hung up (a pulled
        // adapter, a closed pseudo-terminal master): it will never yield data again.
        if (r == 0) return Io::Lost;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::Empty;
        return Io::Lost;
    }
}

SerialPort::Io SerialPort::write(const Snapshot& s, const uint8_t* data, size_t n) {
    std::lock_guard lock(mutex_);
    if (s.generation != generation_ || fd_ < 0) return Io::Stale;
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, data + done, n - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, 1000);
            if (ready < 0 && errno == EINTR) continue;
            // Nothing taken for a second on a line that is still there: it is held, not gone.
            if (ready == 0) return Io::Stalled;
            if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return Io::Lost;
            continue;
        }
        return Io::Lost;
    }
    return Io::Done;
}

namespace {
constexpr int kPrinterWriteWaitMs = 1000;
constexpr int kPrinterDrainMs = 2000;
}  // namespace

bool PrinterPort::open(const std::string& path, Parity parity, int baud) {
    close();
    // Non-blocking, so that a printer that stops taking data cannot hold the
    // main thread: write() waits a bounded time instead.
    DeviceOpenResult r = openSerialDevice(path, baud, parity, true);
    lastError_ = r.message;
    fd_ = r.fd;
    return fd_ >= 0;
}

bool PrinterPort::write(const uint8_t* data, size_t n) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, data + done, n - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, kPrinterWriteWaitMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) {
                lastError_ = "the printer takes no data (nothing accepted for 1 s)";
                return false;
            }
            if (ready > 0 && !(p.revents & (POLLERR | POLLHUP | POLLNVAL))) continue;
            lastError_ = "the printer line is lost";
            return false;
        }
        // errno tells only of a failed write: one that took nothing has no reason of its own.
        if (r < 0) {
            lastError_ = std::string("cannot write to the printer: ") + std::strerror(errno);
            return false;
        }
        if (r == 0) {
            lastError_ = "the printer line took no bytes";
            return false;
        }
        done += static_cast<size_t>(r);
    }
    return true;
}

// A ticket written just before the close must still reach the printer: wait
// (a bounded time) for the line to send it, and drop only unread input.
void PrinterPort::close() {
    if (fd_ < 0) return;
    for (int waited = 0; waited < kPrinterDrainMs; waited += 10) {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        usleep(10000);
    }
    tcflush(fd_, TCIFLUSH);
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace halvek
