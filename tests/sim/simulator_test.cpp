#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "sim/sim_server.h"
#include "support/host_line.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class SimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.start()); }
    sim::SimServer sim;
};

TEST_F(SimulatorTest, AnswersAPollInTheLayoutItArrivedIn) {
    {
        test::HostLine host(sim.devicePath(), true);
        const auto reply = host.exchange(cmd::Status);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->size(), 13u);  // six status bytes
        EXPECT_EQ((*reply)[4], cmd::Status);
        EXPECT_EQ((*reply)[6], 0x01);  // idle
        EXPECT_TRUE(checksumValid(reply->data(), reply->size(), true));
    }
    test::HostLine host(sim.devicePath(), false);
    const auto reply = host.exchange(cmd::Status);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 7u);  // three status bytes
    EXPECT_EQ((*reply)[1], 7);
    EXPECT_EQ((*reply)[2], cmd::Status);
    EXPECT_TRUE(checksumValid(reply->data(), reply->size(), false));
}

TEST_F(SimulatorTest, AnswersDataReadsAndRefusesUnknownCodes) {
    test::HostLine host(sim.devicePath(), true);
    const auto rev = host.exchange(cmd::ReadProgRev);
    ASSERT_TRUE(rev);
    EXPECT_EQ(dataCount(rev->data(), true), 8u);
    EXPECT_EQ(std::string(rev->begin() + 5, rev->begin() + 13), "L8VQA034");

    // The credit table always comes in the long layout: 7 notes and the coupon.
    const auto table = host.exchange(cmd::ReadCreditTable, {0x01});
    ASSERT_TRUE(table);
    EXPECT_EQ(frameLength(table->data(), true), 8u + 6 * 8);
    EXPECT_EQ((*table)[6], 1);  // first record: type 1
    EXPECT_EQ((*table)[7], 'E');

    const auto video = host.exchange(cmd::ReadDiagn0, {0xA1});
    ASSERT_TRUE(video);
    EXPECT_EQ(video->size(), 287u);

    const auto unknown = host.exchange(0x77);
    ASSERT_TRUE(unknown);
    EXPECT_EQ((*unknown)[4], cmd::Unsupported);
    EXPECT_EQ(unknown->size(), 7u);
}

TEST_F(SimulatorTest, ABillGoesThroughEscrowToStackedAfterAnAccept) {
    test::HostLine host(sim.devicePath(), true);
    ASSERT_EQ(sim.execute("insert 4"), "");
    auto statusOf = [&] {
        const auto r = host.exchange(cmd::Status);
        return r ? Bytes(r->begin() + 5, r->begin() + 11) : Bytes{};
    };
    Bytes s;
    ASSERT_TRUE(test::eventually([&] {
        s = statusOf();
        return s.size() == 6 && (s[0] & 0x20);
    }));
    EXPECT_EQ(s[3], 4);  // bill type in S3
    const auto ack = host.exchange(cmd::EscrowAccept);
    ASSERT_TRUE(ack);
    EXPECT_EQ((*ack)[4], cmd::Ack);
    ASSERT_TRUE(test::eventually([&] {
        s = statusOf();
        return s.size() == 6 && (s[0] & 0x80);
    }));
    EXPECT_EQ(s[3], 4);
    EXPECT_EQ(s[1], 0x01);
    // Stacked is reported once.
    s = statusOf();
    EXPECT_FALSE(s[0] & 0x80);
    EXPECT_EQ(sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }), 1u);
}

TEST_F(SimulatorTest, TheClockRunsFromWhereItWasSet) {
    test::HostLine host(sim.devicePath(), true);
    ASSERT_TRUE(host.exchange(cmd::SetRtc, {0x07, 0x12, 0x04, 0x03, 0x14, 0x05, 0x09, 0x00}));
    const auto r = host.exchange(cmd::ReadRtc);
    ASSERT_TRUE(r);
    ASSERT_EQ(dataCount(r->data(), true), 8u);
    EXPECT_EQ(Bytes(r->begin() + 5, r->begin() + 11), (Bytes{0x07, 0x12, 0x04, 0x03, 0x14, 0x05}));
    EXPECT_LE((*r)[11], 0x11);  // seconds: 09, a moment later at most
}

TEST_F(SimulatorTest, RunsScriptedFaults) {
    const std::string path = ::testing::TempDir() + "/sim_faults.txt";
    std::ofstream(path) << "# comments and blank lines are skipped\n\nunsupported E1\ncorrupt-next\nignore D1\n";
    std::string error;
    ASSERT_TRUE(sim.runScript(path, &error)) << error;

    test::HostLine host(sim.devicePath(), true);
    const auto setup = host.exchange(cmd::ReadSetup);
    ASSERT_TRUE(setup);
    EXPECT_EQ((*setup)[4], cmd::Unsupported);
    EXPECT_FALSE(checksumValid(setup->data(), setup->size(), true));
    EXPECT_FALSE(host.exchange(cmd::ReadRtc, {}, 300ms));

    std::ofstream(path) << "insert 99\n";
    EXPECT_FALSE(sim.runScript(path, &error));
    EXPECT_NE(error.find(":1: bill type must be 1 to 64"), std::string::npos) << error;

    // A folder, or a file far too big to be a script, is refused by name instead of running nothing.
    EXPECT_FALSE(sim.runScript(::testing::TempDir(), &error));
    EXPECT_NE(error.find("cannot read the script " + ::testing::TempDir() + ": it is a folder"), std::string::npos)
        << error;
    EXPECT_FALSE(sim.runScript("/dev/zero", &error));
    EXPECT_NE(error.find("the script /dev/zero is too big"), std::string::npos) << error;
}

TEST_F(SimulatorTest, ACouponCarriesItsCodeWhenStacked) {
    test::HostLine host(sim.devicePath(), false);
    host.exchange(cmd::Status);
    ASSERT_EQ(sim.execute("coupon 1234567890123"), "");
    ASSERT_TRUE(test::eventually([&] {
        const auto r = host.exchange(cmd::Status);
        return r && ((*r)[3] & 0x20);
    }));
    host.exchange(cmd::EscrowAccept);
    std::optional<Bytes> r;
    ASSERT_TRUE(test::eventually([&] {
        r = host.exchange(cmd::Status);
        return r && ((*r)[3] & 0x80);
    }));
    EXPECT_EQ(r->size(), 20u);
    EXPECT_EQ((*r)[3] & 0x1F, 16);
    EXPECT_EQ(std::string(r->begin() + 6, r->end() - 1), "1234567890123");
}

}  // namespace
}  // namespace halvek
