// Replays inputs through a fuzz target without libFuzzer: the GCC build runs
// each seed corpus this way under ctest. Arguments are files or folders (every
// regular file in a folder, in name order).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

bool runFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    size_t ran = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::vector<fs::path> files;
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& e : fs::directory_iterator(arg, ec))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(arg);
        }
        for (const auto& f : files) runFile(f) ? ++ran : ++failed;
    }
    std::printf("replayed %zu inputs, %zu unreadable\n", ran, failed);
    return (failed == 0 && ran > 0) ? 0 : 1;
}
