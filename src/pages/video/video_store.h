#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvek {

struct VideoStore {
    // [channel][colour][sample]; sample 0 holds the mean after a reply.
    std::array<std::array<std::array<uint8_t, 5>, 4>, 7> refl{}, trans{};
    // A reply came since the Quick test's "Clear Results", which clears only this.
    bool received = false;
    // The levels are a reply's: the Video test page judges them while it shows them.
    bool levelsHeld = false;
    uint8_t reflLevel(size_t ch, size_t col) const { return refl[ch][col][0]; }
    uint8_t transLevel(size_t ch, size_t col) const { return trans[ch][col][0]; }
};

// Raw video samples the validator streams (code 0xEB), and the record that follows them.
struct VideoSampleStore {
    static constexpr size_t kMaxSamples = 172;
    size_t samples = 0;
    std::vector<std::array<uint8_t, 28>> refl, trans;  // per sample, per channel-colour pair
    std::vector<uint8_t> raw;
    bool secondPart = false;
};

}  // namespace halvek
