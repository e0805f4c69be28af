// The cassette ID log: whatever the file holds, its lines come back without
// line ends, none empty, none longer than 255 characters; the next ID is the
// one after the last, and an ID appended is found in the log read again.
#include <string>
#include <vector>

#include "accessories/id_log_file.h"
#include "fuzz_input.h"
#include "scratch_file.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::ScratchFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int32_t raw = in.i32();
    const auto content = in.rest();
    ScratchFile file(content);
    if (!file.ok()) return 0;

    std::vector<std::string> lines;
    std::string error;
    FUZZ_CHECK(loadIdLog(file.path(), lines, &error), "an ID log in memory could not be read");
    for (const std::string& l : lines) {
        FUZZ_CHECK(!l.empty(), "an empty line came back");
        FUZZ_CHECK(l.size() <= 255, "a line came back longer than 255 characters");
        FUZZ_CHECK(l.find_first_of("\r\n") == std::string::npos, "a line came back with its line end");
    }
    const uint32_t next = nextIdAfter(lines);
    (void)idLogHolds(lines, next);

    const auto id = static_cast<uint32_t>(raw);
    FUZZ_CHECK(appendIdLog(file.path(), id, &error), "an ID could not be appended");
    std::vector<std::string> after;
    FUZZ_CHECK(loadIdLog(file.path(), after, &error), "the ID log could not be read again");
    // A last line without its end runs into the appended ID; a whole last line does not.
    const bool ended = content.empty() || content.back() == '\n' || content.back() == '\r';
    if (ended) {
        FUZZ_CHECK(idLogHolds(after, id), "the appended ID is not in the log");
        FUZZ_CHECK(nextIdAfter(after) == id + 1, "the next ID is not the one after the appended one");
    }
    return 0;
}
