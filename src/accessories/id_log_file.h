#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvek {

// The log of cassette IDs written: plain text, one ten-digit ID a line. Lines
// are written with the bytes CR CR LF after the digits, as earlier logs have
// them; when read, any line end (LF, CR LF, CR CR LF, CR) is taken off.
// Failures return false and name the file and the reason in *error.

// Creates the file if it does not exist; an existing file is left as it is.
bool ensureIdLog(const std::string& path, std::string* error);
// The lines, without their ends, empty lines left out, each at most 255 characters.
bool loadIdLog(const std::string& path, std::vector<std::string>& lines, std::string* error);
bool appendIdLog(const std::string& path, uint32_t id, std::string* error);

// Whether a line holds this ID, compared as numbers.
bool idLogHolds(const std::vector<std::string>& lines, uint32_t id);
// The number after the last line's ID: the next one to write (1 for an empty log).
uint32_t nextIdAfter(const std::vector<std::string>& lines);

}  // namespace halvek
