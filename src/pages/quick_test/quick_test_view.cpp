#include "pages/quick_test/quick_test_view.h"

#include "pages/quick_test/quick_test_result.h"
#include "pages/quick_test/quick_test_texts.h"

namespace halvek {
namespace {

using V = QuickTestView;
using namespace quicktest;

void row(V& v, int y, const char* label, const char* verdict, uint32_t verdictColour, const char* word,
         uint32_t wordColour) {
    v.texts.push_back({V::kLabelX, y, label, V::kLabel});
    if (verdict) v.texts.push_back({V::kVerdictX, y, verdict, verdictColour});
    v.texts.push_back({V::kResultX, y, word, wordColour});
}

// A line judged on data that have arrived.
void judgedRow(V& v, int y, const char* label, bool failed, const char* within, const char* outside) {
    row(v, y, label, failed ? outside : within, failed ? V::kOutOfRange : V::kGood, failed ? kFailed : kOk,
        failed ? V::kFailed : V::kGood);
}

}  // namespace

QuickTestView quickTestView(const OpticsStore& optics, const VideoStore& video, bool l8v) {
    V v;
    v.result = quickTestResult(optics, video, l8v);
    v.opticsKnown = optics.received;
    v.videoKnown = video.received;
    for (int x : {150, 530, 610}) v.lines.push_back({x, 204, x, 365, V::kGrid});
    for (int y : {204, 234, 365}) v.lines.push_back({150, y, 610, y, V::kGrid});
    v.texts.push_back({160, 211, kInstruction, V::kLabel});
    v.texts.push_back({540, 211, kResults, V::kLabel});
    if (v.opticsKnown) {
        judgedRow(v, V::kDetectorsY, kDetectors, v.result & kDetectorsFailed, kWithinRange, kOutOfRange);
        judgedRow(v, V::kEmittersY, kEmitters, v.result & kEmittersFailed, kWithinRange, kOutOfRange);
    } else {
        row(v, V::kDetectorsY, kDetectorsPending, nullptr, 0, kIncomplete, V::kLabel);
        row(v, V::kEmittersY, kEmittersPending, nullptr, 0, kIncomplete, V::kLabel);
    }
    if (v.videoKnown)
        judgedRow(v, V::kVideoY, kVideo, v.result & kVideoFailed, kVideoWithinRange, kVideoOutOfRange);
    else
        row(v, V::kVideoY, kVideoPending, nullptr, 0, kIncomplete, V::kLabel);
    return v;
}

}  // namespace halvek
