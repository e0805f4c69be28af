#pragma once

#include <string>

namespace halvek::cli {

// Why a command must not write its result to path ("" when it may): a folder
// where a file is meant, or a file its owner made read-only, which a program
// that writes beside and renames would otherwise replace without a word. The
// text names the file, as cp would: "cannot write PATH: it is read-only".
// folderMeant: a folder is a fine target (the command names the file in it),
// but it must take a new file.
std::string unwritableTarget(const std::string& path, bool folderMeant = false);

}  // namespace halvek::cli
