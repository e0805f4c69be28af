#include "pages/setup/setup_view.h"

#include "protocol/catalogue.h"

namespace halvek {
namespace {

using S = SetupSwitch;

// clang-format off
constexpr SetupSwitchRow kSwitches[] = {
    {S::Stacker,     "stacker",     2,   14, "required",   "optional",  "required",   "optional",  cmd::SetStackerRequired, cmd::SetStackerOptional},
    {S::Plate,       "plate",       2,   34, "open",       "closed",    "open",       "closed",    cmd::SetPlateOpen,       cmd::SetPlateClosed},
    {S::Sides,       "sides",       43,  14, "2 sides",    "1 side",    "2 sides",    "1 side",    cmd::SetNoteCfg,         cmd::SetNoteCfg},
    {S::Ways,        "ways",        43,  34, "2 ways",     "1 way",     "2 ways",     "1 way",     cmd::SetNoteCfg,         cmd::SetNoteCfg},
    {S::Orientation, "orientation", 84,  14, "normal",     "reverse",   "normal",     "reverse",   0,                       0},
    {S::Inhibit,     "inhibit",     84,  34, "un inhib",   "inhibit",   "un-inhib.",  "inhibit",   cmd::UninhibitUnit,      cmd::InhibitUnit},
    {S::SystemMode,  "mode",        125, 14, "polling",    "interrupt", "polling",    "interrupt", cmd::SetMode,            cmd::SetMode},
    {S::Escrow,      "escrow",      125, 34, "escrow off", "escrow on", "escrow off", "escrow on", cmd::SetMode,            cmd::SetMode},
};
// clang-format on

constexpr SetupColumn kColumns[] = {{"Stacker", 2}, {"Note orient.", 43}, {"Inhibit", 84}, {"System mode", 125}};

bool* flag(SetupSwitches& s, bool& interrupt, SetupSwitch which) {
    switch (which) {
        case S::Stacker:
            return &s.stacker;
        case S::Plate:
            return &s.plate;
        case S::Sides:
            return &s.sides;
        case S::Ways:
            return &s.ways;
        case S::Orientation:
            return &s.orientation;
        case S::Inhibit:
            return &s.inhibit;
        case S::SystemMode:
            return &interrupt;
        case S::Escrow:
            return &s.escrow;
    }
    return &s.orientation;
}

}  // namespace

std::span<const SetupSwitchRow> setupSwitchRows() { return kSwitches; }
const SetupSwitchRow& setupSwitchRow(SetupSwitch which) { return kSwitches[static_cast<size_t>(which)]; }
std::span<const SetupColumn> setupColumns() { return kColumns; }

bool switchState(const SetupSwitches& setup, bool interrupt, SetupSwitch which) {
    SetupSwitches copy = setup;
    return *flag(copy, interrupt, which);
}

void setSwitchState(SetupSwitches& setup, bool& interrupt, SetupSwitch which, bool on) {
    *flag(setup, interrupt, which) = on;
}

uint8_t commandFor(SetupSwitch which, bool on) {
    const SetupSwitchRow& row = setupSwitchRow(which);
    return on ? row.commandOn : row.commandOff;
}

uint8_t flipSwitch(SetupSwitches& setup, bool& interrupt, SetupSwitch which) {
    bool* f = flag(setup, interrupt, which);
    *f = !*f;
    return commandFor(which, *f);
}

}  // namespace halvek
