#pragma once

#include <string>

namespace halvek {

// Opens a file to read it whole, if it is a plain file: a device (/dev/zero
// never ends), a named pipe (its open waits for a writer, its reads for data)
// or a folder is refused at once. The descriptor (blocking, close-on-exec), or
// -1 with the reason: the operating system's, or what the path is instead.
int openRegularFile(const std::string& path, std::string& reason);

}  // namespace halvek
