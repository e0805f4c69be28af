#pragma once

#include <cstdint>

namespace halvek {

struct SetupSwitches {
    bool sides = false;        // 1 side
    bool ways = false;         // 1 way
    bool escrow = false;       // escrow on
    bool stacker = false;      // optional
    bool plate = false;        // cassette plate closed
    bool inhibit = false;      // inhibited
    bool orientation = false;  // reverse
    // The system mode switch is the controller's InterruptMode.
};

}  // namespace halvek
