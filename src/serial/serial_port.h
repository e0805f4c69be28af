#pragma once

#include <termios.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/line_settings.h"
#include "serial/waker.h"

namespace halvek {

// The validator's line. The main thread opens and closes it; the reader thread
// reads and writes it. A generation number, bumped on every open and close,
// lets the reader notice that the descriptor it polled has been replaced, so a
// close never races with a read on a reused descriptor number.
//
// Thread rules: open(), close() and the accessors of the last open are for the
// main thread; snapshot(), read() and write() are for the reader thread.
class SerialPort {
  public:
    explicit SerialPort(Waker& waker) : waker_(waker) {}
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for overlapping use by the reader thread. Returns false and
    // keeps the reason (lastError) when it cannot be opened or configured.
    bool open(const std::string& path, Parity parity, int baud);
    void close();
    // Waits, at most limitMs, until what was written has left the line: closing
    // or changing the speed throws away whatever is still queued.
    bool drain(int limitMs = 1000);
    // Closes once the output has left (a rate change must reach the unit whole).
    void closeDrained(int limitMs = 1000);
    bool isOpen() const { return open_.load(std::memory_order_acquire); }

    const std::string& path() const { return path_; }
    const std::string& lastError() const { return lastError_; }
    int lastErrno() const { return lastErrno_; }
    const termios& lineSettings() const { return settings_; }

    struct Snapshot {
        int fd = -1;
        uint64_t generation = 0;
        bool open = false;
        bool marksErrors = false;  // bytes come escaped: 0xFF 0xFF, 0xFF 0x00 b (b arrived damaged)
    };
    // Stalled: the device is there but took no byte for a second (the other end
    // holds the line with flow control).
    enum class Io { Done, Empty, Lost, Stale, Stalled };

    Snapshot snapshot() const;
    // Reads what is queued, at most n bytes; count receives the number read.
    Io read(const Snapshot& s, uint8_t* buffer, size_t n, size_t& count);
    // Writes all bytes, waiting at most one second for the driver to take more.
    Io write(const Snapshot& s, const uint8_t* data, size_t n);

  private:
    void closeWith(bool discardOutput);

    Waker& waker_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    uint64_t generation_ = 0;
    std::atomic<bool> open_{false};
    std::string path_;
    std::string lastError_;
    int lastErrno_ = 0;
    termios settings_{};
};

// The ticket printer's line: written by the main thread only, never read.
class PrinterPort {
  public:
    ~PrinterPort() { close(); }
    bool open(const std::string& path, Parity parity, int baud);
    bool write(const uint8_t* data, size_t n);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& lastError() const { return lastError_; }

  private:
    int fd_ = -1;
    std::string lastError_;
};

}  // namespace halvek
