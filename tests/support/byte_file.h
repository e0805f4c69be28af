#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace halvek::test {

// Writes bytes as a file's whole content; false when it could not be written.
inline bool writeByteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace halvek::test
