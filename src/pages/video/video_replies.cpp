#include "pages/video/video_replies.h"

#include <algorithm>

namespace halvek {
namespace {

// One sample: a reflective and a transmissive level for each of 7 channels and 4 colours.
constexpr size_t kVideoBlock = 56;

}  // namespace

bool storeVideo(VideoStore& v, bool l8v, const Reply& r) {
    // A reply cut short is averaged over the whole blocks it holds: the bytes it
    // lacks would read as zero and pull every mean down. Less than one block
    // leaves the store as it was.
    const size_t samples = std::min<size_t>(r.extended() ? 5 : 1, r.dataCount() / kVideoBlock);
    if (samples == 0) return false;
    for (size_t s = 0; s < samples; ++s)
        for (size_t i = 0; i < 28; ++i) {
            v.refl[i / 4][i % 4][s] = r.data(kVideoBlock * s + 2 * i);
            v.trans[i / 4][i % 4][s] = r.data(kVideoBlock * s + 2 * i + 1);
        }
    for (size_t ch = 0; ch < 7; ++ch)
        for (size_t col = 0; col < 4; ++col) {
            unsigned sumR = 0, sumT = 0;
            for (size_t s = 0; s < samples; ++s) {
                sumR += v.refl[ch][col][s];
                sumT += v.trans[ch][col][s];
            }
            v.trans[ch][col][0] = static_cast<uint8_t>(sumT / samples);
            v.refl[ch][col][0] = static_cast<uint8_t>(l8v && (ch == 3 || ch == 4) ? 0 : sumR / samples);
        }
    v.received = true;
    v.levelsHeld = true;
    return true;
}

bool storeVideoSamples(VideoSampleStore& store, bool fullSensorLayout, const Reply& r) {
    const size_t length = r.length();
    const size_t bytes = length > 11 ? length - 11 : 0;
    if (store.secondPart) {
        store.raw.assign(bytes, 0);
        for (size_t i = 0; i < bytes; ++i) store.raw[i] = r.byte(5 + i);
        store.secondPart = false;
        return false;
    }
    const size_t n = std::min(bytes / 56, VideoSampleStore::kMaxSamples);
    store.samples = n;
    store.refl.assign(n, {});
    store.trans.assign(n, {});
    for (size_t s = 0; s < n; ++s)
        for (size_t p = 0; p < 28; ++p) {
            store.refl[s][p] = r.data(56 * s + 2 * p);
            store.trans[s][p] = r.data(56 * s + 2 * p + 1);
        }
    if (fullSensorLayout) {
        store.raw.clear();
        return false;
    }
    store.secondPart = true;
    return true;
}

}  // namespace halvek
