#pragma once

#include "link/settings_file.h"
#include "serial/port_map.h"

namespace halvek {

// Puts the device kept in the settings file behind its COM entry, so that COM n
// leads where the window last pointed it: HALVEK_COM<n> when set for this run,
// else the kept device, else /dev/ttyS<n-1>. The window and the console tool both map COM entries
// through here. The file is only read; a missing one keeps nothing.
void mapKeptPort(PortMap& ports, SettingsFile& settings);

}  // namespace halvek
