#include "support/host_line.h"

#include <stdexcept>
#include <thread>

#include "link/place_command.h"
#include "protocol/frame.h"

namespace halvek::test {

HostLine::HostLine(const std::string& path, bool extended)
    : mailbox_([this](Notification n) {
          if (n != Notification::ReplyReady) return;
          const size_t len = frameLength(block.receiveBuffer.data(), block.extendedMode);
          last_.assign(block.receiveBuffer.begin(), block.receiveBuffer.begin() + static_cast<long>(len));
          got_ = true;
      }),
      reader_(block, mailbox_) {
    block.extendedMode = extended;
    reader_.start();
    if (!block.port.open(path, Parity::Even, 9600)) throw std::runtime_error(block.port.lastError());
}

HostLine::~HostLine() {
    reader_.stop();
    block.port.close();
}

std::optional<std::vector<uint8_t>> HostLine::exchange(uint8_t code, const std::vector<uint8_t>& data,
                                                       std::chrono::milliseconds timeout) {
    got_ = false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!placeCommand(block, code, data)) {
        if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!got_ && std::chrono::steady_clock::now() < deadline) mailbox_.serveUntil(deadline);
    if (!got_) return std::nullopt;
    return last_;
}

}  // namespace halvek::test
