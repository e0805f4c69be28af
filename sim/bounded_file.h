#pragma once

#include <cstddef>
#include <string>

namespace halvek::sim {

// Reads the whole of a file the user named (a script, a capture to replay), but
// no more than limit bytes: a folder, a device that never ends or a file too
// big for what it is meant to hold is refused, naming it and saying why, with
// what (e.g. "the script") in front.
bool readBoundedFile(const std::string& path, size_t limit, const char* what, std::string& text, std::string& error);

}  // namespace halvek::sim
