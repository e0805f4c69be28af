// What the protocol capture costs the reader thread: the line of one frame
// formatted and written, and a whole exchange through a pseudo-terminal with
// and without a capture open.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "capture/capture_line.h"
#include "capture/protocol_capture.h"
#include "protocol/frame.h"
#include "serial/reader_thread.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;

fs::path benchFile() { return fs::temp_directory_path() / ("halvek_capture_bench_" + std::to_string(::getpid())); }

std::vector<uint8_t> frameOf(size_t length) {
    // A status poll (7 bytes), a status reply (13) and the longest reply (502).
    return encodeFrame(true, 0xCC, std::vector<uint8_t>(length - 7, 0x5A));
}

void BM_FormatLine(benchmark::State& state) {
    const auto frame = frameOf(static_cast<size_t>(state.range(0)));
    std::string line;
    for (auto _ : state) {
        line.clear();
        capture::appendCaptureLine(line, frame.data(), frame.size(), false, 1234);
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(BM_FormatLine)->Arg(7)->Arg(13)->Arg(502);

void BM_CaptureFrame(benchmark::State& state) {
    const auto frame = frameOf(static_cast<size_t>(state.range(0)));
    ProtocolCapture capture;
    capture.setLimit(~0ull);
    if (!capture.open(benchFile().string())) {
        state.SkipWithError("cannot open the capture file");
        return;
    }
    bool sent = false;
    for (auto _ : state) capture.captureFrame(frame.data(), frame.size(), sent = !sent);
    capture.close();
    fs::remove(benchFile());
}
BENCHMARK(BM_CaptureFrame)->Arg(7)->Arg(13)->Arg(502);

// One poll and its reply through the reader thread; range(0) = 1 with a capture open.
void BM_ReaderExchange(benchmark::State& state) {
    int master = -1, slave = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    ProtocolCapture capture;
    capture.setLimit(~0ull);
    CommBlock block;
    int delivered = 0;
    SyncMailbox mailbox([&](Notification) { ++delivered; });
    ReaderThread reader(block, mailbox);
    if (state.range(0)) {
        capture.open(benchFile().string());
        block.frameTap.store(&capture);
    }
    reader.start();
    block.port.open(name, Parity::Even, 9600);
    const auto poll = frameOf(7);
    const auto reply = frameOf(13);
    uint8_t in[64];
    for (auto _ : state) {
        const int before = delivered;
        block.placeFrame(poll.data(), poll.size());
        for (size_t got = 0; got < poll.size();) {
            const ssize_t n = ::read(master, in, sizeof in);
            if (n > 0) got += static_cast<size_t>(n);
        }
        if (::write(master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) break;
        while (delivered == before) mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    }
    reader.stop();
    block.port.close();
    block.frameTap.store(nullptr);
    capture.close();
    ::close(master);
    ::close(slave);
    fs::remove(benchFile());
}
BENCHMARK(BM_ReaderExchange)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
}  // namespace halvek
