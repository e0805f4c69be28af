#include "pages/quick_test/quick_test_result.h"

namespace halvek {
namespace {

// {centre, half-width} for red, green, blue and infrared.
constexpr VideoRanges kL8v{
    .transmissive = {{{80, 16}, {80, 16}, {80, 16}, {80, 16}}},
    .reflective = {{{220, 44}, {220, 44}, {220, 44}, {220, 44}}},
};
constexpr VideoRanges kL8{
    .transmissive = {{{82, 16}, {81, 16}, {73, 14}, {81, 16}}},
    .reflective = {{{220, 44}, {212, 42}, {210, 42}, {230, 46}}},  // infrared 46: see quickTestRanges
};

bool stuck(uint16_t gain) { return gain == quicktest::kGainStuckLow || gain == quicktest::kGainStuckHigh; }

template <class Test>
bool anyIn(size_t channels, Test test) {
    for (size_t ch = 0; ch < channels; ++ch)
        for (size_t col = 0; col < 4; ++col)
            if (test(ch, col)) return true;
    return false;
}

}  // namespace

const VideoRanges& quickTestRanges(bool l8v) { return l8v ? kL8v : kL8; }

uint8_t quickTestResult(const OpticsStore& o, const VideoStore& v, bool l8v) {
    const size_t transmissive = kJudgedTransmissiveChannels, reflective = judgedReflectiveChannels(l8v);
    uint8_t result = 0;
    if (o.received) {
        if (anyIn(transmissive, [&](size_t ch, size_t col) { return stuck(o.transGain[ch][col]); }) ||
            anyIn(reflective, [&](size_t ch, size_t col) { return stuck(o.reflGain[ch][col]); }))
            result |= quicktest::kDetectorsFailed;
        if (anyIn(transmissive, [&](size_t ch, size_t col) { return o.transEmitter[ch][col] == 0; }) ||
            anyIn(reflective, [&](size_t ch, size_t col) { return o.reflEmitter[ch][col] == 0; }))
            result |= quicktest::kEmittersFailed;
    }
    if (v.received) {
        const VideoRanges& r = quickTestRanges(l8v);
        if (anyIn(transmissive,
                  [&](size_t ch, size_t col) { return !r.transmissive[col].holds(v.transLevel(ch, col)); }) ||
            anyIn(reflective, [&](size_t ch, size_t col) { return !r.reflective[col].holds(v.reflLevel(ch, col)); }))
            result |= quicktest::kVideoFailed;
    }
    return result;
}

}  // namespace halvek
