// The settings file: whatever the file holds, the port index is one of the six
// ports, a file with content is not changed by reading it, a device line read
// back names a COM entry and an absolute path, and what the program saves it
// reads back the same.
#include <string>

#include "fuzz_input.h"
#include "link/settings_file.h"
#include "scratch_file.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::ScratchFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const size_t pathLength = in.u16() % 5000;
    const auto pathBytes = in.bytes(pathLength);
    const auto fileBytes = in.rest();

    {
        ScratchFile file(fileBytes);
        if (!file.ok()) return 0;
        SettingsFile settings(file.path());
        const int index = settings.loadPortIndex();
        FUZZ_CHECK(index >= 0 && index < SettingsFile::kPorts, "the port index is not one of the ports");
        if (!fileBytes.empty())
            FUZZ_CHECK(file.content() == std::string(fileBytes.begin(), fileBytes.end()),
                       "reading the settings changed the file");
        else
            FUZZ_CHECK(file.content() == "Val_Port_Num:0\r\n", "an empty settings file was not given the first port");
        if (const auto device = settings.loadPortDevice()) {
            FUZZ_CHECK(device->comNumber >= 1 && device->comNumber <= 99, "a device line names no COM entry");
            FUZZ_CHECK(!device->path.empty() && device->path[0] == '/', "a device line names no absolute path");
            FUZZ_CHECK(device->path.find('\n') == std::string::npos, "a device path holds a line end");
        }
    }

    // Saving a choice and reading it back, over whatever the file held before.
    ScratchFile file(fileBytes);
    if (!file.ok()) return 0;
    SettingsFile settings(file.path());
    const int index = choice % SettingsFile::kPorts;
    std::string path;
    if (choice & 0x80) path.append("/").append(pathBytes.begin(), pathBytes.end());
    const bool fit = path.find_first_of("\r\n") == std::string::npos && path.size() <= 4096;
    const bool saved = settings.savePortChoice(index, path);
    FUZZ_CHECK(saved == fit, "a device path was kept or refused against the rule");
    if (!saved) {
        FUZZ_CHECK(!settings.lastError().empty(), "a refused device path gave no reason");
        return 0;
    }
    FUZZ_CHECK(settings.loadPortIndex() == index, "the saved port index did not read back");
    const auto device = settings.loadPortDevice();
    if (path.empty()) {
        FUZZ_CHECK(!device, "a device line came back though none was saved");
    } else {
        FUZZ_CHECK(device && device->comNumber == index + 1 && device->path == path,
                   "the saved device did not read back the same");
    }
    return 0;
}
