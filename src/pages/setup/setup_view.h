#pragma once

#include <cstdint>
#include <span>

#include "pages/setup/setup_store.h"

namespace halvek {

// The eight switches of the Setup page, in their columns.
enum class SetupSwitch : uint8_t { Stacker, Plate, Sides, Ways, Orientation, Inhibit, SystemMode, Escrow };

// One switch: where it sits (dialog units), its captions for each state, and
// the command a click asks for by the state it leads to (0: none). The caption
// of a clicked switch and of a refreshed one differ for "not inhibited" only.
struct SetupSwitchRow {
    SetupSwitch which;
    const char* key;  // the console tool's name for it
    int x, y;
    const char* clickedOff;
    const char* clickedOn;
    const char* shownOff;
    const char* shownOn;
    uint8_t commandOff;
    uint8_t commandOn;
};

std::span<const SetupSwitchRow> setupSwitchRows();
const SetupSwitchRow& setupSwitchRow(SetupSwitch which);

// The column headings, left to right, and their dialog-unit x.
struct SetupColumn {
    const char* caption;
    int x;
};
std::span<const SetupColumn> setupColumns();

namespace setuptext {
inline constexpr const char* kSaveGroup = "Save Setup as :";
inline constexpr const char* kCurrent = "CURRENT  settings";
inline constexpr const char* kDefault = "DEFAULT   settings";
inline constexpr const char* kTemplateUninhibit = "un-inhibit";
}  // namespace setuptext

// Switch and heading sizes in dialog units.
inline constexpr int kSwitchWidth = 40, kSwitchHeight = 14, kHeadingWidth = 46;

// The state of a switch; the system mode is the link's interrupt flag.
bool switchState(const SetupSwitches& setup, bool interrupt, SetupSwitch which);
void setSwitchState(SetupSwitches& setup, bool& interrupt, SetupSwitch which, bool on);
// A click: flips the switch and returns the command to ask for (0: none).
uint8_t flipSwitch(SetupSwitches& setup, bool& interrupt, SetupSwitch which);
// The command that carries a switch in the given state to the unit (0: none).
uint8_t commandFor(SetupSwitch which, bool on);

}  // namespace halvek
