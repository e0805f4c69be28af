#include "serial/comm_block.h"

#include <algorithm>
#include <thread>

namespace halvek {

CaptureList::CaptureList() {
    for (auto& e : entries_) e.store(kEmpty, std::memory_order_relaxed);
}

void CaptureList::beginChange() {
    sequence_.store(sequence_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

void CaptureList::endChange() {
    sequence_.store(sequence_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void CaptureList::reset() {
    beginChange();
    for (auto& e : entries_) e.store(kEmpty, std::memory_order_relaxed);
    count_.store(0, std::memory_order_relaxed);
    exchange_.store(exchange_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    endChange();
}

void CaptureList::append(uint8_t byte) {
    const uint16_t n = count_.load(std::memory_order_relaxed);
    if (n >= kExchangeLimit) return;
    beginChange();
    entries_[n].store(byte, std::memory_order_relaxed);
    count_.store(static_cast<uint16_t>(n + 1), std::memory_order_relaxed);
    endChange();
}

bool CaptureList::snapshot(Entries& out, uint32_t* exchange) const {
    // The writer changes a few entries per byte received; a copy of 2 KiB is
    // rarely overtaken more than once.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before & 1) {
            std::this_thread::yield();
            continue;
        }
        for (size_t i = 0; i < kEntries; ++i) out[i] = entries_[i].load(std::memory_order_relaxed);
        const uint32_t number = exchange_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) == before) {
            if (exchange) *exchange = number;
            return true;
        }
        std::this_thread::yield();
    }
    return false;
}

bool CommBlock::placeFrame(const uint8_t* frame, size_t length) {
    if (length == 0 || length > kTransmitBufferSize || !transmitFree()) return false;
    std::copy(frame, frame + length, transmitBuffer.begin());
    transmitLength.store(static_cast<uint8_t>(length), std::memory_order_release);
    waker.wake();
    return true;
}

}  // namespace halvek
