#include "link/place_command.h"

#include "protocol/frame.h"

namespace halvek {

bool placeCommand(CommBlock& block, uint8_t code, std::span<const uint8_t> data) {
    const bool extended = block.extendedMode.load();
    if (!block.transmitFree() || smallestFrameSize(extended) + data.size() > kTransmitBufferSize) return false;
    uint8_t frame[kTransmitBufferSize];
    const size_t n = encodeFrame(extended, code, data, frame);
    return block.placeFrame(frame, n);
}

}  // namespace halvek
