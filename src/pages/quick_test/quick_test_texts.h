#pragma once

namespace halvek::quicktest {

// The Quick test page's fixed texts.
inline constexpr const char* kRunTest = "Run Test";
inline constexpr const char* kClearResults = "Clear Results";
inline constexpr const char* kInstruction = "Click on <Run Test> button to check validator's settings";
inline constexpr const char* kResults = "Results:";
inline constexpr const char* kDetectorsPending = "> DETECTORS                                  ";
inline constexpr const char* kEmittersPending = "> EMITERS                                    ";
inline constexpr const char* kDetectors = "> DETECTORS";
inline constexpr const char* kEmitters = "> EMITERS";
inline constexpr const char* kVideoPending = "> VIDEO            ( to complete please insert VLA paper)";
inline constexpr const char* kVideo = "> VIDEO                             ";
inline constexpr const char* kIncomplete = "incomplete";
inline constexpr const char* kWithinRange = "within required range";
inline constexpr const char* kOutOfRange = "OUT OF RANGE - calibration required";
inline constexpr const char* kVideoWithinRange = "within required range   ";
inline constexpr const char* kVideoOutOfRange = "OUT OF RANGE - calibration required  ";
inline constexpr const char* kOk = "  OK  ";
inline constexpr const char* kFailed = "  FAILED";
inline constexpr const char* kInsertVlaPaper = "To complete VIDEO test please insert VLA paper";

}  // namespace halvek::quicktest
