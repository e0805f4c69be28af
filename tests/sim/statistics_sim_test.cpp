// The simulated unit's statistics move with what it does: a count per bill
// stacked, one per rejection by its reason, and none after "clear stats".
#include <gtest/gtest.h>

#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/host_line.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

uint16_t lowFirstAt(const std::vector<uint8_t>& frame, size_t at) {
    return static_cast<uint16_t>(frame[at] | frame[at + 1] << 8);
}

TEST(SimulatedStatistics, CountRejectionsByReasonAndClear) {
    sim::SimServer sim;
    ASSERT_TRUE(sim.start());
    test::HostLine host(sim.devicePath(), true);
    // Reason, and the event it is counted as.
    const std::pair<const char*, size_t> rejections[] = {{"07", 2}, {"08", 3}, {"0B", 6}, {"12", 18}, {"00", 1}};
    for (const auto& rejection : rejections) {
        // Plain names: clang 14 does not let a lambda capture a structured binding.
        const char* const reason = rejection.first;
        const size_t event = rejection.second;
        ASSERT_TRUE(test::eventually([&] {
            host.exchange(cmd::Status);  // the unit moves on while it is polled
            return sim.execute(std::string("reject ") + reason).empty();
        }));
        ASSERT_TRUE(test::eventually([&] {
            host.exchange(cmd::Status);
            return sim.withModel([&](sim::ValidatorModel& m) { return m.memory().eventCounts[event - 1] == 1; });
        })) << reason;
    }
    auto stats = host.exchange(cmd::ReadStats);
    ASSERT_TRUE(stats);
    ASSERT_EQ(stats->size(), 5u + 2 * (64 + 20) + 2);
    const size_t events = 5 + 2 * 64;
    EXPECT_EQ(lowFirstAt(*stats, events + 2 * 1), 1);   // did not pass optical test
    EXPECT_EQ(lowFirstAt(*stats, events + 2 * 2), 1);   // disabled bill entry
    EXPECT_EQ(lowFirstAt(*stats, events + 2 * 3), 0);   // no security rejection
    EXPECT_EQ(lowFirstAt(*stats, events + 2 * 17), 1);  // returned by the controller

    ASSERT_TRUE(host.exchange(cmd::ClearStats));
    stats = host.exchange(cmd::ReadStats);
    ASSERT_TRUE(stats);
    for (size_t i = 5; i < stats->size() - 2; ++i) EXPECT_EQ((*stats)[i], 0) << i;
}

}  // namespace
}  // namespace halvek
