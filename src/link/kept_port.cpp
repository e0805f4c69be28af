#include "link/kept_port.h"

#include <cstdlib>
#include <string>

namespace halvek {

void mapKeptPort(PortMap& ports, SettingsFile& settings) {
    auto kept = settings.loadPortDevice();
    if (!kept) return;
    // A HALVEK_COM<n> set for this run says where COM n is now; the kept device
    // is what an earlier run was told.
    const std::string var = "HALVEK_COM" + std::to_string(kept->comNumber);
    if (const char* now = std::getenv(var.c_str()); now && *now) return;
    ports.set(kept->comNumber, kept->path);
}

}  // namespace halvek
