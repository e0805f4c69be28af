#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace halvek::test {

// A new empty folder under the test's temporary folder. A name made from the
// process id alone can meet the files an earlier run with that id left behind.
inline std::string freshDir(const std::string& prefix) {
    const std::string pattern = ::testing::TempDir() + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const char* made = mkdtemp(name.data());
    EXPECT_NE(made, nullptr) << pattern;
    return made ? made : ::testing::TempDir();
}

}  // namespace halvek::test
