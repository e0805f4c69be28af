#include "cli/read_targets.h"
#include "pages/setup/setup_view.h"

namespace halvek::cli {

// Each switch by the caption the Setup page gives it.
void printSetup(const LinkController& link, std::ostream& out, bool json) {
    const SetupSwitches& s = link.stores().setup;
    if (json) out << "{";
    bool first = true;
    for (const SetupSwitchRow& row : setupSwitchRows()) {
        const char* caption = switchState(s, link.interruptMode(), row.which) ? row.shownOn : row.shownOff;
        if (json)
            out << (first ? "" : ",") << jsonString(row.key) << ":" << jsonString(caption);
        else
            out << row.key << std::string(13 - std::string(row.key).size(), ' ') << caption << "\n";
        first = false;
    }
    if (json) out << "}\n";
}

}  // namespace halvek::cli
