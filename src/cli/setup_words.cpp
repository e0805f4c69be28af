#include "cli/setup_words.h"

namespace halvek::cli {
namespace {

// In the order of the Setup page's rows.
constexpr SwitchWords kWords[] = {
    {SetupSwitch::Stacker, "required", "optional"},
    {SetupSwitch::Plate, "open", "closed"},
    {SetupSwitch::Sides, "2", "1"},
    {SetupSwitch::Ways, "2", "1"},
    {SetupSwitch::Orientation, "normal", "reverse", false},
    {SetupSwitch::Inhibit, "off", "on"},
    {SetupSwitch::SystemMode, "polling", "interrupt"},
    {SetupSwitch::Escrow, "off", "on"},
};

}  // namespace

std::span<const SwitchWords> switchWords() { return kWords; }

const SwitchWords& switchWords(SetupSwitch which) {
    for (const SwitchWords& w : kWords)
        if (w.which == which) return w;
    return kWords[0];
}

}  // namespace halvek::cli
