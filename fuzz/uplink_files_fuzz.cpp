// The uplink's own files: whatever its state file holds, reading it never
// throws, and what it takes it writes back the same; whatever its config file
// holds, the settings are refused with a reason or taken with a broker, a site
// and a kiosk that make good topic levels.
#include <string>

#include "fuzz_input.h"
#include "scratch_file.h"
#include "uplink/settings.h"
#include "uplink/tally.h"

using namespace halvek::uplink;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::ScratchFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const bool config = in.flag();
    ScratchFile file(in.rest());
    if (!file.ok()) return 0;
    if (!config) {
        Tally tally;
        std::string error;
        if (!StateFile(file.path()).load(tally, error)) {
            FUZZ_CHECK(error.find(file.path()) != std::string::npos, "a state file refused without its name");
            return 0;
        }
        Tally back;
        FUZZ_CHECK(Tally::fromJson(tally.toJson(), back, error), "a state read does not read back");
        FUZZ_CHECK(back.toJson() == tally.toJson(), "a state read reads back otherwise");
        return 0;
    }
    const ParsedSettings r = parseSettings({"--config", file.path()}, "");
    if (r.outcome != ParsedSettings::Outcome::Run) {
        FUZZ_CHECK(r.outcome == ParsedSettings::Outcome::Error && !r.error.empty(),
                   "a config refused without a reason");
        return 0;
    }
    const Settings& s = r.settings;
    FUZZ_CHECK(!s.brokerHost.empty() && s.port() >= 1 && s.port() <= 65535, "taken without a broker");
    for (const std::string* level : {&s.site, &s.kiosk})
        FUZZ_CHECK(!level->empty() && level->find_first_of("/+# \n") == std::string::npos,
                   "a site or kiosk taken that is no topic level");
    FUZZ_CHECK(s.maxPending >= 1 && s.metricsSeconds >= 1, "a bound taken that is zero");
    return 0;
}
