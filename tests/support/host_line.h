#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "serial/comm_block.h"
#include "serial/notification.h"
#include "serial/reader_thread.h"

namespace halvek::test {

// The host's side of a line, without a controller: place a frame, get the reply.
class HostLine {
  public:
    explicit HostLine(const std::string& path, bool extended = true);
    ~HostLine();

    // Sends a frame and waits for the complete reply; nullopt when none comes.
    std::optional<std::vector<uint8_t>> exchange(uint8_t code, const std::vector<uint8_t>& data = {},
                                                 std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));
    CommBlock block;

  private:
    std::vector<uint8_t> last_;
    bool got_ = false;
    SyncMailbox mailbox_;
    ReaderThread reader_;
};

}  // namespace halvek::test
