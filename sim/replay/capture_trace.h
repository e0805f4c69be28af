#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvek::sim {

// One frame of a protocol capture file, as the host saw it.
struct CapturedFrame {
    uint64_t timeMs = 0;  // since the capture was opened
    bool sent = false;    // true: the host's command ("CMD"); false: the unit's message ("MSG")
    std::vector<uint8_t> bytes;
    int line = 0;  // where it stands in the file, for messages
};

struct CaptureTrace {
    std::vector<CapturedFrame> frames;
    // Why reading stopped before the end of the text, if it did ("" when it read to the end).
    std::string stoppedAt;
};

// Reads the text of a capture file: entries "T( 00001234 ms)CMD[ 02 04 CC 2E ]  :  "
// and "T( 00001240 ms)MSG[ ... ]\r\n". Reading stops at the first entry that is not
// well formed, and where the time runs backwards (the tail of an older capture that
// the newer one did not overwrite); what was read up to there is kept.
CaptureTrace parseCapture(const std::string& text);

// Formats one frame as a capture file does (the test traces are written with it).
std::string formatCaptureEntry(const CapturedFrame& frame);

}  // namespace halvek::sim
