#include "protocol/command_history.h"

#include <gtest/gtest.h>

namespace halvek {
namespace {

TEST(CommandHistory, FillsFromTheTopThenScrolls) {
    CommandHistory h;
    for (int i = 1; i <= 5; ++i) h.recordCommand("cmd " + std::to_string(i));
    EXPECT_EQ(h.counter(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(h.slots()[i], "cmd " + std::to_string(i + 1));
    for (size_t i = 5; i < 8; ++i) EXPECT_TRUE(h.slots()[i].empty());

    for (int i = 6; i <= 9; ++i) h.recordCommand("cmd " + std::to_string(i));
    EXPECT_EQ(h.counter(), 9u);
    EXPECT_EQ(h.slots()[0], "cmd 2");
    EXPECT_EQ(h.slots()[7], "cmd 9");
}

TEST(CommandHistory, KeepsRepeatedNamesAsSeparateLines) {
    CommandHistory h;
    h.recordCommand("read stats");
    h.recordCommand("read stats");
    EXPECT_EQ(h.slots()[0], "read stats");
    EXPECT_EQ(h.slots()[1], "read stats");
    EXPECT_EQ(h.counter(), 2u);
}

}  // namespace
}  // namespace halvek
