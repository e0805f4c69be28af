#include "link/kept_port.h"

namespace halvek {

void mapKeptPort(PortMap& ports, SettingsFile& settings) {
    if (auto kept = settings.loadPortDevice()) ports.set(kept->comNumber, kept->path);
}

}  // namespace halvek
