#include "link/command_table.h"

#include <gtest/gtest.h>

#include <string>

#include "controller_bench.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using test::ControllerBench;

// The part of a history name before its first printf field.
std::string fixedPart(const char* name) {
    const std::string s = name;
    return s.substr(0, s.find('%'));
}

TEST(CommandTable, EveryCatalogueCommandHasOneRowAndEveryRowACommand) {
    for (const CommandInfo& c : catalogue()) {
        const CommandRow* row = findCommandRow(c.code);
        ASSERT_NE(row, nullptr) << std::hex << int(c.code);
        EXPECT_NE(row->build, nullptr) << std::hex << int(c.code);
    }
    for (const CommandRow& row : commandTable()) {
        // Only what the validator sends of its own accord has no catalogue row.
        if (findCommand(row.code) == nullptr) {
            EXPECT_EQ(row.build, nullptr) << std::hex << int(row.code);
            EXPECT_TRUE(row.takenUnasked) << std::hex << int(row.code);
        }
    }
}

// Each command, requested in each mode, leaves as one frame of its own code,
// records its history name and waits for its reply exactly when the catalogue
// says; the reply then ends the wait.
TEST(CommandTable, EveryRequestableCommandBuildsAndEveryAwaitedReplyIsHandled) {
    for (bool extended : {true, false}) {
        for (const CommandInfo& c : catalogue()) {
            if (c.code == cmd::UploadFirmware) continue;  // switches the line to the upload stream
            ControllerBench b(extended);
            b.controller.request(c.code);
            b.controller.onTick();
            const auto frame = b.take();
            ASSERT_FALSE(frame.empty()) << std::hex << int(c.code);
            const bool longFrame = frame[1] == 0x00;
            EXPECT_EQ(frame[codeOffset(longFrame)], c.code) << std::hex << int(c.code);
            EXPECT_TRUE(checksumValid(frame.data(), frame.size(), longFrame)) << std::hex << int(c.code);
            const auto& history = b.stores.history.slots();
            EXPECT_EQ(history[0].rfind(fixedPart(c.name), 0), 0u) << history[0];
            const RequestState after = c.awaitsReply ? RequestState::AwaitingReply : RequestState::Idle;
            EXPECT_EQ(b.controller.requestState(c.code), after) << std::hex << int(c.code);
            if (!c.awaitsReply) continue;
            b.reply(c.code, std::vector<uint8_t>(8, 0));
            EXPECT_EQ(b.controller.requestState(c.code), RequestState::Idle) << std::hex << int(c.code);
        }
    }
}

}  // namespace
}  // namespace halvek
