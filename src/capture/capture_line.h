#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace halvek::capture {

// Appends the capture line of one frame: a command as "T( ms)CMD[ 02 04 ... ]  :  "
// (its reply follows on the same line), a reply as "T( ms)MSG[ ... ]\r\n". Every
// byte of the frame is written, whatever its length.
void appendCaptureLine(std::string& out, const uint8_t* frame, size_t length, bool sent, int64_t elapsedMs);

}  // namespace halvek::capture
