#include <gtest/gtest.h>

#include <algorithm>

#include "accessories/cassette_id.h"
#include "protocol/catalogue.h"
#include "protocol/frame.h"
#include "sim/validator_model.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

// The simulated unit driven frame by frame, its clock in the test's hands.
struct Unit {
    Bytes send(uint8_t code, const Bytes& data = {}) {
        model.handleFrame(encodeFrame(true, code, std::span<const uint8_t>(data)), now);
        const auto out = model.takeOutput();
        return out.empty() ? Bytes{} : out.back();
    }
    Bytes replyData(uint8_t code) {
        const Bytes f = send(code);
        return f.size() > 7 ? Bytes(f.begin() + 5, f.end() - 2) : Bytes{};
    }
    // In small steps, as the server's loop lets time pass.
    void pass(int64_t ms) {
        for (int64_t end = now + ms; now < end;) {
            now = std::min(end, now + 50);
            model.advance(now);
        }
    }
    sim::ValidatorModel model;
    int64_t now = 0;
};

Bytes writeIdParameters(uint32_t id) {
    const auto r = cassetteIdRecord(id);
    return {r[5], r[4], r[3], r[2], r[1], r[0], r[7], r[6]};
}

TEST(SimCassette, RecordsStayWithTheCassette) {
    Unit u;
    u.send(cmd::WriteCassetteId, writeIdParameters(41));
    EXPECT_EQ(u.model.memory().cassette.id(), 41u);
    Bytes wrongCheck = writeIdParameters(42);
    wrongCheck[7] ^= 1;
    u.send(cmd::WriteCassetteId, wrongCheck);
    EXPECT_EQ(u.model.memory().cassette.id(), 41u);

    ASSERT_EQ(u.model.execute("insert 3", u.now), "");
    u.pass(500);
    u.send(cmd::EscrowAccept);
    u.pass(700);
    EXPECT_EQ(u.replyData(cmd::ReadCassBillBuf)[5], 1);  // type 3, low byte

    // Detached: nothing reaches the memory, reads come back empty.
    ASSERT_EQ(u.model.execute("detach", u.now), "");
    u.send(cmd::WriteCassetteId, writeIdParameters(99));
    u.send(cmd::EraseSda);
    EXPECT_EQ(u.replyData(cmd::ReadCassetteId), Bytes(8, 0));
    EXPECT_EQ(u.replyData(cmd::ReadCassBillBuf), Bytes(30, 0));
    ASSERT_EQ(u.model.execute("attach", u.now), "");
    EXPECT_EQ(u.model.memory().cassette.id(), 41u);
    EXPECT_EQ(u.replyData(cmd::ReadCassBillBuf)[5], 1);
    u.send(cmd::EraseSda);
    EXPECT_EQ(u.replyData(cmd::ReadCassBillBuf), Bytes(30, 0));
}

TEST(SimAcceptAll, DisabledBillsAreTakenForTheSecondsGivenOrUntilACoupon) {
    Unit u;
    u.send(cmd::SetBillEnable, Bytes{0x01, 0, 0, 0, 0, 0, 0, 0x80});  // type 1 and the coupon only
    u.send(cmd::SetMode, Bytes{0x00});                                // no escrow: straight to the stacker
    u.send(cmd::SetAcceptAll, Bytes{2});
    EXPECT_TRUE(u.model.memory().acceptAll.active(u.now));
    ASSERT_EQ(u.model.execute("insert 3", u.now), "");
    u.pass(1200);
    EXPECT_EQ(u.model.lifeCount(), 1u);
    u.pass(1000);
    EXPECT_FALSE(u.model.memory().acceptAll.active(u.now));
    ASSERT_EQ(u.model.execute("insert 3", u.now), "");
    u.pass(1500);
    EXPECT_EQ(u.model.lifeCount(), 1u);  // rejected: the type is disabled

    u.send(cmd::SetAcceptAll, Bytes{200});
    ASSERT_EQ(u.model.execute("coupon 123", u.now), "");
    u.pass(1200);
    EXPECT_FALSE(u.model.memory().acceptAll.active(u.now));
}

}  // namespace
}  // namespace halvek
