// The capture file, both ways. Any text: what the replay reads keeps its order
// in time and reads back the same once written out again. Any frames: what the
// host's capture writes, the replay reads back byte for byte.
#include <string>
#include <vector>

#include "capture/capture_line.h"
#include "fuzz_input.h"
#include "sim/replay/capture_trace.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;

namespace {

void checkRereads(const sim::CaptureTrace& trace) {
    std::string again;
    for (size_t i = 0; i < trace.frames.size(); ++i) {
        const sim::CapturedFrame& f = trace.frames[i];
        FUZZ_CHECK(!f.bytes.empty(), "a frame without bytes was read");
        if (i > 0) FUZZ_CHECK(f.timeMs >= trace.frames[i - 1].timeMs, "the times read run backwards");
        again += sim::formatCaptureEntry(f);
    }
    const sim::CaptureTrace reread = sim::parseCapture(again);
    FUZZ_CHECK(reread.stoppedAt.empty(), "a capture written from what was read does not read to its end");
    FUZZ_CHECK(reread.frames.size() == trace.frames.size(), "a capture written from what was read lost frames");
    for (size_t i = 0; i < trace.frames.size(); ++i) {
        FUZZ_CHECK(reread.frames[i].bytes == trace.frames[i].bytes, "a frame's bytes changed on the way");
        FUZZ_CHECK(reread.frames[i].timeMs == trace.frames[i].timeMs, "a frame's time changed on the way");
        FUZZ_CHECK(reread.frames[i].sent == trace.frames[i].sent, "a command came back as a message or back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] & 1) {
        // The input is the text of a capture file.
        checkRereads(sim::parseCapture(std::string(reinterpret_cast<const char*>(data) + 1, size - 1)));
        return 0;
    }
    // The input is a list of frames for the host's capture to write.
    FuzzInput in(data, size);
    in.byte();
    std::vector<sim::CapturedFrame> frames;
    std::string text;
    int64_t ms = 0;
    while (!in.done()) {
        sim::CapturedFrame f;
        ms += in.u16() * static_cast<int64_t>(in.byte());  // up to about 200 days between frames
        f.timeMs = static_cast<uint64_t>(ms);
        f.sent = in.flag();
        const auto bytes = in.bytes(1 + in.byte());
        if (bytes.empty()) break;
        f.bytes.assign(bytes.begin(), bytes.end());
        capture::appendCaptureLine(text, f.bytes.data(), f.bytes.size(), f.sent, ms);
        frames.push_back(std::move(f));
    }
    const sim::CaptureTrace trace = sim::parseCapture(text);
    FUZZ_CHECK(trace.stoppedAt.empty(), "the replay stopped inside a capture the host wrote");
    FUZZ_CHECK(trace.frames.size() == frames.size(), "the replay lost frames the host wrote");
    for (size_t i = 0; i < frames.size(); ++i) {
        FUZZ_CHECK(trace.frames[i].bytes == frames[i].bytes, "a frame's bytes changed on the way");
        FUZZ_CHECK(trace.frames[i].timeMs == frames[i].timeMs, "a frame's time changed on the way");
        FUZZ_CHECK(trace.frames[i].sent == frames[i].sent, "a command came back as a message or back");
    }
    return 0;
}
