#include "cli/read_targets.h"
#include "cli/setup_words.h"
#include "pages/setup/setup_view.h"

namespace halvek::cli {

// As text, each switch by the caption the Setup page gives it; as JSON, by the
// word `set` takes for it, so that a script can set back what it read.
void printSetup(const LinkController& link, std::ostream& out, bool json) {
    const SetupSwitches& s = link.stores().setup;
    if (json) out << "{";
    bool first = true;
    for (const SetupSwitchRow& row : setupSwitchRows()) {
        const bool on = switchState(s, link.interruptMode(), row.which);
        if (json) {
            const SwitchWords& words = switchWords(row.which);
            out << (first ? "" : ",") << jsonString(row.key) << ":" << jsonString(on ? words.on : words.off);
        } else {
            const char* caption = on ? row.shownOn : row.shownOff;
            out << row.key << std::string(13 - std::string(row.key).size(), ' ') << caption << "\n";
        }
        first = false;
    }
    if (json) out << "}\n";
}

}  // namespace halvek::cli
