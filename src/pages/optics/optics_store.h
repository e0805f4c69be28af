#pragma once

#include <array>
#include <cstdint>

namespace halvek {

template <class T>
using ChannelTable = std::array<std::array<T, 4>, 7>;  // [channel 0-6][colour: red, green, blue, infrared]

struct OpticsStore {
    ChannelTable<uint8_t> reflWhite{}, transWhite{}, reflBlack{}, transBlack{}, transEmitter{}, reflEmitter{};
    ChannelTable<uint16_t> transGain{}, reflGain{};
    int colour = 0;
    bool received = false;
};

}  // namespace halvek
