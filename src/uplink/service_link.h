#pragma once

#include <cstddef>
#include <string>

namespace halvek::uplink {

// The uplink's connection to the service's Unix socket: non-blocking, read in
// lines. Lines longer than the bound end the connection (the service never
// writes one that long; something else is on the socket).
class ServiceLink {
  public:
    static constexpr size_t kMaxLine = 1024 * 1024;

    ServiceLink() = default;
    ~ServiceLink() { close(); }
    ServiceLink(const ServiceLink&) = delete;
    ServiceLink& operator=(const ServiceLink&) = delete;

    bool connect(const std::string& path, std::string& error);
    void close();
    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Sends one request line (the newline is added). False with the reason when
    // the socket takes none of it; the requests are small and few.
    bool send(const std::string& line, std::string& error);
    // Reads what the socket holds. False with the reason when the service closed
    // it or it failed.
    bool readAvailable(std::string& error);
    size_t buffered() const { return buffer_.size() - start_; }
    // The next whole line read, if there is one.
    bool nextLine(std::string& line);

  private:
    int fd_ = -1;
    std::string buffer_;
    size_t start_ = 0;
};

}  // namespace halvek::uplink
