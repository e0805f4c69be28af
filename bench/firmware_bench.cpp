// Download of a 2880-block file into the simulated loader, host against
// simulator on a pseudo-terminal: with the simulator pacing both directions at
// the line's speed (compare with the wire time of the bytes plus the two
// pauses with the port closed), and without pacing (the host's own time).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <numeric>

#include "firmware/download_session.h"
#include "firmware/link_access.h"
#include "serial/reader_thread.h"
#include "sim/loader/program_image.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

using Clock = std::chrono::steady_clock;

struct NoLink : DownloadLink {
    uint8_t linkFlags() const override { return 0; }
    void requestDownload() override {}
    void closeValidatorPort() override {}
    void stopTimer() override {}
};

// The port, timing how long it stays closed between a rate change and the reopening.
struct TimedPort : SerialDownloadPort {
    using SerialDownloadPort::SerialDownloadPort;
    bool open(int baud) override {
        if (closedAt != Clock::time_point{}) closedTotal += Clock::now() - closedAt;
        closedAt = {};
        return SerialDownloadPort::open(baud);
    }
    void close() override {
        SerialDownloadPort::close();
        closedAt = Clock::now();
    }
    Clock::time_point closedAt{};
    Clock::duration closedTotal{};
};

struct Times : DownloadListener {
    void statusShown(DownloadStatus, const std::string&, const std::string&) override {}
    void messageShown(const std::string&, const std::string& text) override { failure = text; }
    void progressShown(uint32_t done, uint32_t total) override {
        if (done == 1) firstBlock = Clock::now();
        if (done == total && total) lastBlock = Clock::now();
    }
    Clock::time_point firstBlock{}, lastBlock{};
    std::string failure;
};

struct Result {
    double total = 0, blocks = 0, closed = 0;
    bool ok = false;
};

Result downloadOnce(const std::string& file, bool wireTime) {
    sim::SimServer sim;
    sim.start();
    sim.setLoader(true);
    sim.setWireTime(wireTime);
    CommBlock block;
    NoLink link;
    Times times;
    TimedPort port(block, sim.devicePath());
    DownloadSession session(block, port, link, times);
    SyncMailbox mailbox([&](Notification n) {
        if (n == Notification::TransferDone) session.onTransferDone();
    });
    ReaderThread reader(block, mailbox);
    reader.start();
    auto next = Clock::now();
    auto runUntil = [&](auto done) {
        while (!done()) {
            if (Clock::now() >= next) {
                next += std::chrono::milliseconds(100);
                session.onTick();
            }
            mailbox.serveUntil(next);
        }
    };
    session.open();
    session.chooseFile(file);
    runUntil([&] { return session.connected() || session.status() == DownloadStatus::Failed; });
    port.closedTotal = {};
    const auto start = Clock::now();
    session.download();
    runUntil(
        [&] { return session.status() == DownloadStatus::Finished || session.status() == DownloadStatus::Failed; });
    Result r;
    r.total = std::chrono::duration<double>(Clock::now() - start).count();
    r.blocks = std::chrono::duration<double>(times.lastBlock - times.firstBlock).count();
    r.closed = std::chrono::duration<double>(port.closedTotal).count();
    r.ok = session.status() == DownloadStatus::Finished;
    session.exit();
    reader.stop();
    return r;
}

std::string makeFile() {
    std::vector<uint8_t> sectors(90);
    std::iota(sectors.begin(), sectors.end(), 0);
    const FirmwareFile f = sim::program::generate(sectors, "BENCH000");
    const std::string path = "/tmp/halvek-bench-" + std::to_string(::getpid()) + ".L8F";
    const auto b = f.toBytes();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path;
}

// Wire time of every byte of the download, 8N1 (10 bits a byte).
double wireSeconds(uint32_t blocks) {
    const double at9600 = 10.0 / 9600, at38400 = 10.0 / 38400;
    const double slow = (4 + 2) + 5 + (4 + 2);                           // Connect, RateChange 2, Finish
    const double fast = (4 + 2) + (4 + 2) + (128 + 128) + (2 + 2) + 5 +  // erase, header, ack, RateChange 0
                        blocks * (7.0 + 2 + 128 + 128 + 2 + 2);
    return slow * at9600 + fast * at38400;
}

void BM_Download2880Blocks(benchmark::State& state) {
    const bool wire = state.range(0) != 0;
    const std::string file = makeFile();
    Result r;
    for (auto _ : state) r = downloadOnce(file, wire);
    std::remove(file.c_str());
    if (!r.ok) state.SkipWithError("download failed");
    state.counters["total_s"] = r.total;
    state.counters["blocks_s"] = r.blocks;
    state.counters["closed_s"] = r.closed;
    if (wire) {
        const double w = wireSeconds(2880);
        state.counters["wire_s"] = w;
        // Host and simulator overhead over the wire time plus the pauses with the port closed.
        state.counters["overhead_pct"] = 100.0 * (r.total - w - r.closed) / w;
    }
}
BENCHMARK(BM_Download2880Blocks)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace halvek
