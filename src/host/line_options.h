#pragma once

#include <string>
#include <vector>

namespace halvek {

class ControllerHost;

// Which validator a host program talks to, and how.
struct LinkOptions {
    std::string port;       // --port PATH
    long com = 0;           // --com N
    bool simulate = false;  // --simulate: a simulated validator inside the program
    bool extended = true;   // --q7 / --q7e
    long interval = 350;    // --interval MS
    long simBills = -1;     // --sim-bills SECONDS; -1: the program's own habit
};

// The usage lines of the link options, for a command's own usage text.
extern const char* const kLinkOptionsUsage;

// Takes the link option at args[i] (and its value), advancing i. Returns false
// when args[i] is not a link option; error is set when it is one with a bad value.
bool parseLinkOption(const std::vector<std::string>& args, size_t& i, LinkOptions& options, std::string& error);
// "" when exactly one of --port, --com and --simulate was given, else what is wrong.
std::string checkLinkOptions(const LinkOptions& options);

// Puts the validator's line behind the controller's COM entry: the device given
// (--port), or COM com as the window maps it (HALVEK_COM<n> when set, else the
// device kept in halvek.ini, else /dev/ttyS<n-1>).
void selectLine(ControllerHost& host, const std::string& port, long com);
// The device behind COM com as the window maps it.
std::string comDevice(long com);

// What an option with a missing or bad value is told: "--seconds needs a
// number from 0 to 100000000, not 'x'" (the value escaped; nothing when missing).
std::string badValue(const std::string& option, const std::string& needs, const std::string* value);

// A whole number in [lo, hi] written in decimal.
bool parseInt(const std::string& s, long lo, long hi, long& value);

}  // namespace halvek
