#pragma once

#include <optional>
#include <string>

namespace halvek {

// Keeps the COM port choice between runs in "halvek.ini" in the current
// directory: one line "Val_Port_Num:<index>\r\n", the index 0-based.
class SettingsFile {
  public:
    static constexpr const char* kDefaultName = "halvek.ini";
    static constexpr int kPorts = 6;

    explicit SettingsFile(std::string path = kDefaultName) : path_(std::move(path)) {}

    // Reads the index, creating the file with index 0 when it is missing or
    // empty. A file it cannot make sense of gives 0. Never fails: a problem is
    // kept in lastError() (the program goes on with index 0).
    int loadPortIndex();
    // Writes the line at the start of the file, leaving any longer old content after it.
    bool savePortIndex(int index);

    // The device chosen for a COM entry (picked in the list or given by --com N=PATH), kept
    // on a line "Val_Port_Path:N=PATH\r\n" after the first one, so that a reader
    // that knows only the first line still finds its index there.
    struct PortDevice {
        int comNumber = 0;
        std::string path;
    };
    std::optional<PortDevice> loadPortDevice();
    // Writes the index line and, when a path is given, the device line for COM
    // index + 1; the file ends after them (an earlier device line goes).
    bool savePortChoice(int index, const std::string& devicePath);

    const std::string& lastError() const { return lastError_; }
    const std::string& path() const { return path_; }

  private:
    bool writeLine(int fd, int index);
    std::string path_;
    std::string lastError_;
};

}  // namespace halvek
