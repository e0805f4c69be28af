#include "link/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace halvek {
namespace {

std::string path(const char* name) { return ::testing::TempDir() + "/" + name + std::to_string(getpid()) + ".ini"; }

std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SettingsFile, AMissingFileIsCreatedWithTheFirstPort) {
    const std::string p = path("new");
    ::unlink(p.c_str());
    SettingsFile f(p);
    EXPECT_EQ(f.loadPortIndex(), 0);
    EXPECT_EQ(read(p), std::string("Val_Port_Num:0\r\n"));
    EXPECT_EQ(read(p).size(), 16u);
    EXPECT_TRUE(f.lastError().empty());
}

TEST(SettingsFile, ReadsTheDigitAndFallsBackToTheFirstPort) {
    const std::pair<const char*, int> cases[] = {
        {"Val_Port_Num:3\r\n", 3}, {"Val_Port_Num:5", 5},     {"Val_Port", 0},
        {"Val_Port_Num:x\r\n", 0}, {"Val_Port_Num:7\r\n", 0},  // no COM 8 to select
    };
    const std::string p = path("read");
    for (const auto& [content, index] : cases) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(SettingsFile(p).loadPortIndex(), index) << content;
        EXPECT_EQ(read(p), content) << "loading never rewrites a file with content";
    }
}

TEST(SettingsFile, SavingOverwritesTheStartOnly) {
    const std::string p = path("save");
    std::ofstream(p, std::ios::binary | std::ios::trunc) << "Val_Port_Num:1\r\nkept";
    SettingsFile f(p);
    ASSERT_TRUE(f.savePortIndex(4));
    EXPECT_EQ(read(p), std::string("Val_Port_Num:4\r\nkept"));
    EXPECT_EQ(f.loadPortIndex(), 4);
}

TEST(SettingsFile, AnUnusablePlaceGivesTheFirstPortAndSaysWhy) {
    SettingsFile f("/proc/halvek-cannot-be-here/halvek.ini");
    EXPECT_EQ(f.loadPortIndex(), 0);
    EXPECT_NE(f.lastError().find("cannot open /proc/halvek-cannot-be-here/halvek.ini"), std::string::npos);
    EXPECT_FALSE(f.savePortIndex(2));
}

}  // namespace
}  // namespace halvek
