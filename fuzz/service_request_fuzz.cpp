// The service's requests: whatever bytes a client sends, the line splitter
// hands over lines no longer than its bound, the parser never throws, takes
// only requests whose fields are right for their command, and every answer
// the server would write is one whole JSON line that echoes the request's id.
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_input.h"
#include "service/protocol.h"

using namespace halvek::service;
using nlohmann::json;

namespace {

void checkAnswer(const std::string& line, const Echo& echo) {
    FUZZ_CHECK(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1,
               "an answer is not one line");
    const json j = json::parse(line, nullptr, false);
    FUZZ_CHECK(j.is_object() && j.contains("class"), "an answer is not a JSON object with a class");
    if (echo.id) FUZZ_CHECK(j.contains("id") && j["id"] == *echo.id, "an answer lost the request's id");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kBound = 512;  // a small bound, so that inputs reach it
    LineSplitter splitter(kBound);
    // Fed in two pieces: a line may come split over reads.
    const size_t cut = size / 2;
    splitter.feed(reinterpret_cast<const char*>(data), cut);
    std::string line;
    bool fedRest = false;
    for (;;) {
        const LineSplitter::Result r = splitter.next(line);
        if (r == LineSplitter::Result::Overlong) break;
        if (r == LineSplitter::Result::NeedMore) {
            if (fedRest) break;
            splitter.feed(reinterpret_cast<const char*>(data) + cut, size - cut);
            fedRest = true;
            continue;
        }
        FUZZ_CHECK(line.size() <= kBound, "a line longer than the bound was handed over");
        FUZZ_CHECK(line.find('\n') == std::string::npos, "a line holds a line end");
        const ParsedRequest p = parseRequest(line);
        if (!p.ok) {
            FUZZ_CHECK(!p.reason.empty(), "a refused request has no reason");
            checkAnswer(errorMessage(p.echo, err::BadRequest, p.reason), p.echo);
            continue;
        }
        const Request& q = p.request;
        for (int t : q.types) FUZZ_CHECK(t >= 1 && t <= 24, "a bill type out of range was taken");
        checkAnswer(okMessage(q.echo), q.echo);
        checkAnswer(errorMessage(q.echo, err::NotController, "only the controller may " + q.echo.cmd), q.echo);
    }
    return 0;
}
