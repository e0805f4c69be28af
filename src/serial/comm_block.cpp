#include "serial/comm_block.h"

#include <algorithm>

namespace halvek {

void CaptureList::reset() {
    for (auto& e : entries_) e.store(kEmpty, std::memory_order_relaxed);
    count_.store(0, std::memory_order_relaxed);
}

void CaptureList::append(uint8_t byte) {
    const uint16_t n = count_.load(std::memory_order_relaxed);
    if (n >= kExchangeLimit) return;
    entries_[n].store(byte, std::memory_order_relaxed);
    count_.store(static_cast<uint16_t>(n + 1), std::memory_order_relaxed);
}

bool CommBlock::placeFrame(const uint8_t* frame, size_t length) {
    if (length == 0 || length > kTransmitBufferSize || !transmitFree()) return false;
    std::copy(frame, frame + length, transmitBuffer.begin());
    transmitLength.store(static_cast<uint8_t>(length), std::memory_order_release);
    waker.wake();
    return true;
}

}  // namespace halvek
