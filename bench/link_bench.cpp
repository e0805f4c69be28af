// How long the host takes for its own part of an exchange: building frames,
// decoding a status reply, and a whole poll round trip through a pseudo-terminal
// with the simulated validator (no wire time: the host and the line driver only).
#include <benchmark/benchmark.h>

#include <chrono>

#include "link/controller_host.h"
#include "protocol/frame.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

void BM_EncodeFrame(benchmark::State& state) {
    const std::vector<uint8_t> data(8, 0xFF);
    uint8_t out[kTransmitBufferSize];
    for (auto _ : state) benchmark::DoNotOptimize(encodeFrame(true, 0x41, data, out));
}
BENCHMARK(BM_EncodeFrame);

using QuietUi = NullUserInterface;

void BM_DecodeStatus(benchmark::State& state) {
    QuietUi ui;
    CommBlock block;
    Stores stores;
    PortMap ports;
    LinkController c(block, stores, ui, ports);
    const auto idle = encodeFrame(true, 0xCC, {0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
    const auto escrow = encodeFrame(true, 0xCC, {0x20, 0x00, 0x00, 0x03, 0x00, 0x00});
    bool flip = false;
    for (auto _ : state) {
        const auto& f = (flip = !flip) ? idle : escrow;
        std::copy(f.begin(), f.end(), block.receiveBuffer.begin());
        c.onNotification(Notification::ReplyReady);
    }
}
BENCHMARK(BM_DecodeStatus);

void BM_PollRoundTrip(benchmark::State& state) {
    sim::SimServer sim;
    sim.start();
    QuietUi ui;
    ControllerHost host(ui);
    host.ports.set(1, sim.devicePath());
    host.controller.connect();
    host.controller.setStartupCountdown(0);
    for (auto _ : state) {
        host.controller.onTick();
        while (!host.block.transmitFree() || host.block.awaitingReply.load())
            host.mailbox.serveUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    }
}
BENCHMARK(BM_PollRoundTrip)->UseRealTime();

}  // namespace
}  // namespace halvek
