#include "cli/usage.h"

#include "cli/terminal_text.h"

namespace halvek::cli {

std::string exitCodes(const std::string& failed) {
    return "exit codes: 0 done, 1 " + failed + " (the reason on stderr), 2 bad command line (the usage on stderr)\n";
}

int usageError(std::ostream& err, const std::string& command, const std::string& what, const std::string& usage) {
    err << "halvek-cli " << command << ": " << what << "\n" << usage;
    return 2;
}

}  // namespace halvek::cli
