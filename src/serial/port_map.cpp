#include "serial/port_map.h"

#include <cstdlib>

namespace halvek {

std::string PortMap::pathFor(int comNumber) const {
    if (auto it = overrides_.find(comNumber); it != overrides_.end()) return it->second;
    const std::string var = "HALVEK_COM" + std::to_string(comNumber);
    if (const char* env = std::getenv(var.c_str()); env != nullptr && *env != '\0') return env;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

void PortMap::set(int comNumber, std::string path) { overrides_[comNumber] = std::move(path); }

bool PortMap::parseOverride(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= text.size()) return false;
    int n = 0;
    for (size_t i = 0; i < eq; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + (text[i] - '0');
        if (n > 99) return false;
    }
    if (n < 1) return false;
    set(n, text.substr(eq + 1));
    return true;
}

}  // namespace halvek
