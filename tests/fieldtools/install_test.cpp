#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Install, PutsEveryFileWhereALinuxDesktopLooksForIt) {
    const fs::path prefix = fs::temp_directory_path() / ("halvek-install-" + std::to_string(::getpid()));
    fs::remove_all(prefix);
    const std::string command = std::string("\"") + HALVEK_CMAKE + "\" --install \"" + HALVEK_BUILD_DIR +
                                "\" --prefix \"" + prefix.string() + "\" > \"" + prefix.string() + ".log\" 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(prefix.string() + ".log");

    std::vector<std::string> expected = {
        "bin/halvek-cli",
        "bin/halvek-sim",
        "share/man/man1/halvek-cli.1.gz",
        "share/man/man1/halvek-sim.1.gz",
        "share/bash-completion/completions/halvek-cli",
        "share/bash-completion/completions/halvek-sim",
        "share/doc/halvek/examples/60-halvek-serial.rules",
        "share/doc/halvek/README",
        "share/doc/halvek/copyright",
        "share/doc/halvek/changelog.gz",
        "bin/halvekd",
        "share/man/man8/halvekd.8.gz",
        "lib/systemd/system/halvekd.service",
        "lib/systemd/system/halvekd.socket",
        "lib/sysusers.d/halvekd.conf",
    };
    if (HALVEK_WITH_WINDOW)
        for (const char* f :
             {"bin/halvek", "share/applications/halvek.desktop", "share/icons/hicolor/scalable/apps/halvek.svg",
              "share/man/man1/halvek.1.gz", "share/bash-completion/completions/halvek"})
            expected.push_back(f);
    for (const std::string& f : expected) EXPECT_TRUE(fs::exists(prefix / f)) << f;
    for (const char* program : {"bin/halvek-cli", "bin/halvek-sim", "bin/halvekd"}) {
        struct stat st {};
        ASSERT_EQ(::stat((prefix / program).c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR) << program;
        // The installed program runs on its own.
        EXPECT_EQ(std::system(((prefix / program).string() + " --help > /dev/null").c_str()), 0) << program;
    }
    if (HALVEK_WITH_WINDOW) {
        const std::string desktop = readText(prefix / "share/applications/halvek.desktop");
        // The window takes no file or address to open: a launcher passing one would stop it.
        EXPECT_NE(desktop.find("\nExec=halvek\n"), std::string::npos) << desktop;
        EXPECT_NE(desktop.find("\nIcon=halvek\n"), std::string::npos);
        // Warnings and hints too: one main category, or the entry shows in several menus.
        const std::string validate = "desktop-file-validate \"" +
                                     (prefix / "share/applications/halvek.desktop").string() + "\" > \"" +
                                     prefix.string() + ".validate\" 2>&1";
        if (std::system("command -v desktop-file-validate > /dev/null") == 0) {
            EXPECT_EQ(std::system(validate.c_str()), 0);
            EXPECT_EQ(readText(prefix.string() + ".validate"), "");
            fs::remove(prefix.string() + ".validate");
        }
    }
    fs::remove_all(prefix);
    fs::remove(prefix.string() + ".log");
}

}  // namespace
