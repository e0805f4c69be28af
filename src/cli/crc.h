#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace halvek::cli {

// halvek-cli crc FILE: the file's checksum as the CRC page shows it; with
// --program the unit's own checksum too, and the verdict when both are there.
int runCrc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace halvek::cli
