#include "cli/file_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halvek::cli {

std::string unwritableTarget(const std::string& path, bool folderMeant) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";  // a new file: its folder says at the write
    const std::string head = "cannot write " + path + ": ";
    if (S_ISDIR(st.st_mode)) {
        if (!folderMeant) return head + "it is a folder";
        if (::access(path.c_str(), W_OK | X_OK) != 0) return head + std::strerror(errno);
        return "";
    }
    if (::access(path.c_str(), W_OK) != 0) return head + std::strerror(errno);
    // The super-user may write anything; a file without any write permission was
    // still made read-only on purpose.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return head + "it is read-only";
    return "";
}

}  // namespace halvek::cli
