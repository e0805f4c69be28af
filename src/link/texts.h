#pragma once

#include <cstdint>
#include <string>

namespace halvek::text {

// The program's fixed texts, each kept in one place.
inline constexpr const char* kInfo = "Info";
inline constexpr const char* kWarning = "Warning";
inline constexpr const char* kNoConnection = "No Connection";       // CONNECT failed
inline constexpr const char* kNoConnectionLower = "No connection";  // a command refused while not polling
inline constexpr const char* kNotSupported = "Command not supported in this firmware version";
inline constexpr const char* kSensorsNotAvailable = "The sensors data is not available";
inline constexpr const char* kVlaFailed = "   VLA failed.\t\t\t\t\t\r Do power reset to continue.";
inline constexpr const char* kTitleFormat = "QRV Q7e Host Controller App  [rev. %d customer ver.]";
inline constexpr int kTitleRevision = 34;
inline constexpr const char* kPollingMode = "Polling Mode";
inline constexpr const char* kInterruptMode = "Interrupt Mode";
inline constexpr const char* kControllerInterrupt = "Controller in INTERRUPT mode";
inline constexpr const char* kControllerPolling = "Controller in POLLING mode";
// Link notices (the console monitor prints them as "link: ..." lines).
inline constexpr const char* kUnitInInterruptMode =
    "the unit is in interrupt mode: it speaks when it has something to say, and is polled when it asks or stays "
    "quiet";
inline constexpr const char* kUnitInPollingMode = "the unit is in polling mode: it is polled every tick";

// The name of a validator state number 1-7 ("" for 0).
const char* stateName(int state);
// The event text of a rejection reason code.
std::string rejectionText(uint8_t reason);
// "Polling Mode - 350 ms" or "Interrupt Mode".
std::string modeCaption(bool interrupt, int pollIntervalMs);
std::string windowTitle();

}  // namespace halvek::text
