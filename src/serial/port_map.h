#pragma once

#include <map>
#include <string>

namespace halvek {

// Which device path stands behind "COM n". Defaults to /dev/ttyS<n-1>; the
// environment variable HALVEK_COM<n> or an explicit override (--com N=PATH)
// point it elsewhere, typically at /dev/ttyUSB0 or /dev/serial/by-id/...
class PortMap {
  public:
    std::string pathFor(int comNumber) const;
    void set(int comNumber, std::string path);
    // Parses "N=PATH"; returns false (and changes nothing) on a malformed text.
    bool parseOverride(const std::string& text);

  private:
    std::map<int, std::string> overrides_;
};

}  // namespace halvek
