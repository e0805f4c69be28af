#include <gtest/gtest.h>

#include <functional>

#include "controller_bench.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ControllerBench;

struct BuilderCase {
    const char* what;
    uint8_t code;
    bool extended;
    std::function<void(ControllerBench&)> prepare;
    Bytes frame;
    std::string name;
    RequestState after;
};

// clang-format off
const BuilderCase kBuilders[] = {
    {"read RTC long", 0xD1, true, {}, {0x02, 0x00, 0x00, 0x07, 0xD1, 0xFF, 0x26}, "read RTC", RequestState::AwaitingReply},
    {"read RTC short", 0xD1, false, {}, {0x02, 0x04, 0xD1, 0x29}, "read RTC", RequestState::AwaitingReply},
    {"clear prod.date", 0x30, false, {}, {0x02, 0x04, 0x30, 0xCA}, "clear prod.date", RequestState::Idle},
    {"set mode polling escrow on", 0x40, false, [](ControllerBench& b) { b.stores.setup.escrow = true; },
     {0x02, 0x05, 0x40, 0x01, 0xB8}, "set mode: polling - escrow on", RequestState::Idle},
    {"set mode interrupt escrow off", 0x40, true, [](ControllerBench& b) { b.controller.setInterruptMode(true); },
     {0x02, 0x00, 0x00, 0x08, 0x40, 0x02, 0xFF, 0xB4}, "set mode: interrupt - escrow off", RequestState::Idle},
    {"bill enable type 1 short", 0x41, false, [](ControllerBench& b) { b.stores.bills.enabled[0] = 1; },
     {0x02, 0x06, 0x41, 0x00, 0x01, 0xB6}, "set bill enable", RequestState::Idle},
    {"bill enable type 9 short", 0x41, false, [](ControllerBench& b) { b.stores.bills.enabled[8] = 1; },
     {0x02, 0x06, 0x41, 0x01, 0x00, 0xB6}, "set bill enable", RequestState::Idle},
    {"bill enable all long", 0x41, true, [](ControllerBench& b) { b.stores.bills.enabled.fill(1); },
     {0x02, 0x00, 0x00, 0x0F, 0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xB6}, "set bill enable",
     RequestState::Idle},
    {"note cfg one side", 0x43, false, [](ControllerBench& b) { b.stores.setup.sides = true; },
     {0x02, 0x05, 0x43, 0x02, 0xB4}, "set note cfg: 1 side - 2 ways", RequestState::Idle},
    {"note cfg one way", 0x43, false, [](ControllerBench& b) { b.stores.setup.ways = true; },
     {0x02, 0x05, 0x43, 0x01, 0xB5}, "set note cfg: 2 sides - 1 way", RequestState::Idle},
    {"prod date wk 5 of 07", 0x44, false, [](ControllerBench& b) { b.stores.identity.productionDate = {0x05, 0x07}; },
     {0x02, 0x06, 0x44, 0x05, 0x07, 0xA8}, "set prod date.", RequestState::Idle},
    {"factory number 1234", 0x47, false, [](ControllerBench& b) { b.stores.identity.factoryNumber = {0x12, 0x34}; },
     {0x02, 0x06, 0x47, 0x12, 0x34, 0x6B}, "set fact.num.", RequestState::Idle},
    {"system id 1234", 0x50, false, [](ControllerBench& b) { b.stores.identity.systemId = {0x12, 0x34}; },
     {0x02, 0x06, 0x50, 0x12, 0x34, 0x62}, "set sys id", RequestState::Idle},
    {"set RTC", 0x51, false, [](ControllerBench& b) { b.stores.rtc = {0x07, 0x12, 0x04, 0x03, 0x14, 0x05, 0x09, 0x00}; },
     {0x02, 0x0C, 0x51, 0x07, 0x12, 0x04, 0x03, 0x14, 0x05, 0x09, 0x00, 0x5F}, "set RTC", RequestState::Idle},
    {"run CRC 16", 0x62, false, [](ControllerBench& b) { b.stores.crc.polynomial = 0x1021; b.stores.crc.seed16 = 0xFFFF; },
     {0x02, 0x08, 0x62, 0x10, 0x21, 0xFF, 0xFF, 0x65}, "Run CRC 16", RequestState::Idle},
    {"run CRC 32", 0x64, false, [](ControllerBench& b) { b.stores.crc.seed32 = 0x12345678; },
     {0x02, 0x08, 0x64, 0x12, 0x34, 0x56, 0x78, 0x7E}, "Run CRC 32", RequestState::Idle},
    {"accept all 30 s", 0xD6, false, [](ControllerBench& b) { b.stores.acceptAllSeconds = 30; },
     {0x02, 0x05, 0xD6, 0x1E, 0x05}, "set accept all mode: 30 sec", RequestState::Idle},
    {"credit table long", 0xE5, true, {}, {0x02, 0x00, 0x00, 0x08, 0xE5, 0x01, 0xFF, 0x10}, "read credit table",
     RequestState::AwaitingReply},
    {"credit table short mode", 0xE5, false, {}, {0x02, 0x00, 0x00, 0x08, 0xE5, 0x01, 0xFF, 0x10},
     "read credit table", RequestState::AwaitingReply},
    {"sensor data", 0xE7, false, {}, {0x02, 0x05, 0xE7, 0xA0, 0x72}, "read diagn.(0)", RequestState::AwaitingReply},
    {"cassette ID 1234567", 0xF6, false,
     [](ControllerBench& b) { b.stores.cassette.idToWrite = {0x87, 0xD6, 0x12, 0x00, 0x00, 0x00, 0x6D, 0x61}; },
     {0x02, 0x0C, 0xF6, 0x00, 0x00, 0x00, 0x12, 0xD6, 0x87, 0x61, 0x6D, 0xBF}, "write cassette ID         (0xF6)",
     RequestState::Idle},
    {"cassette fault buffer", 0xDB, false, {}, {0x02, 0x04, 0xDB, 0x1F}, "read cass.fault buf.     (0xDB)",
     RequestState::AwaitingReply},
};
// clang-format on

TEST(Builders, EveryCaseBuildsItsBytesNameAndState) {
    for (const BuilderCase& c : kBuilders) {
        ControllerBench b(c.extended);
        if (c.prepare) c.prepare(b);
        b.controller.request(c.code);
        b.controller.onTick();
        EXPECT_EQ(b.waiting(), c.frame) << c.what;
        EXPECT_TRUE(checksumValid(c.frame.data(), c.frame.size(), c.frame[1] == 0x00)) << c.what << ": bad vector";
        EXPECT_EQ(b.stores.history.slots()[0], c.name) << c.what;
        EXPECT_EQ(b.controller.requestState(c.code), c.after) << c.what;
    }
}

TEST(Builders, EveryCatalogueCodeLeavesAFrameAndItsName) {
    for (const CommandInfo& info : catalogue()) {
        for (bool ext : {true, false}) {
            ControllerBench b(ext);
            b.controller.request(info.code);
            b.controller.onTick();
            const Bytes f = b.waiting();
            ASSERT_FALSE(f.empty()) << info.name;
            EXPECT_EQ(f[codeOffset(f[1] == 0x00)], info.code) << info.name;
            EXPECT_EQ(b.stores.history.counter(), 1u) << info.name;
            EXPECT_EQ(b.controller.requestState(info.code),
                      info.awaitsReply ? RequestState::AwaitingReply : RequestState::Idle)
                << info.name;
        }
    }
}

TEST(Builders, ABusyBufferKeepsTheRequestAndOnlySimpleCommandsRecord) {
    ControllerBench b;
    ASSERT_TRUE(placeCommand(b.block, 0xCC));  // a frame still waits
    const auto before = b.block.transmitBuffer;

    EXPECT_FALSE(b.controller.sendSimpleCommand(0xD1, true));
    EXPECT_EQ(b.stores.history.slots()[0], "read RTC");  // recorded all the same
    EXPECT_EQ(b.controller.requestState(0xD1), RequestState::Idle);

    b.controller.request(0x41);
    b.controller.onTick();
    EXPECT_EQ(b.controller.requestState(0x41), RequestState::Requested);
    EXPECT_EQ(b.stores.history.counter(), 1u);  // the parameterised builder records nothing
    EXPECT_EQ(b.block.transmitBuffer, before);

    b.take();
    b.controller.onTick();
    EXPECT_EQ(b.controller.requestState(0x41), RequestState::Idle);
    EXPECT_EQ(b.stores.history.slots()[1], "set bill enable");
}

// The credit total counts what the unit stacks, not the accepts sent: the frame
// only tells that it left, once, when it leaves.
TEST(Builders, EscrowAcceptIsToldWhenItLeavesAndCreditsNothing) {
    struct Money : StatusListener {
        void moneyEvent(const MoneyEvent& e) override { kinds.push_back(e.kind); }
        std::vector<MoneyKind> kinds;
    } money;
    ControllerBench b;
    b.controller.addStatusListener(&money);
    b.stores.escrow.creditLimitOn = true;
    b.stores.escrow.escrowValue = 20;
    ASSERT_TRUE(placeCommand(b.block, 0xCC));
    b.controller.request(0x80);
    b.controller.onTick();  // buffer busy: nothing leaves
    EXPECT_TRUE(money.kinds.empty());
    b.take();
    b.controller.onTick();
    EXPECT_EQ(money.kinds, std::vector<MoneyKind>{MoneyKind::Sent});
    EXPECT_EQ(b.controller.settlement().creditTotal(), 0);
}

TEST(Builders, StepsBeforeBuilding) {
    ControllerBench b;
    b.controller.setInterruptMode(true);
    b.controller.request(0x66);  // request VLA: the validator stops sending by itself
    b.controller.onTick();
    EXPECT_FALSE(b.controller.interruptMode());
    b.take();
    b.controller.request(0x60);  // upload: the reader frames upload blocks from now on
    b.controller.onTick();
    EXPECT_EQ(b.block.receiveMode.load(), ReceiveMode::Upload);
}

}  // namespace
}  // namespace halvek
