#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace halvek::uplink {

// One line from the service as the uplink understands it. Reading it is pure
// (no socket, no broker) and never throws, whatever the line holds: a field of
// the wrong type reads as absent, and what the uplink cannot go on with is Bad.
struct ServiceMessage {
    enum class Kind {
        Version,  // the greeting: the protocol it speaks
        Money,    // a numbered money record
        Event,    // an unnumbered event of the unit or the link
        Status,   // the answer to a status request
        Gap,      // the journal no longer holds some records asked for
        Error,    // the service refused a request
        Other,    // anything else (OK, HELLO, classes of later versions): passed over
        Bad,      // not the service's protocol: the connection is dropped
    };
    Kind kind = Kind::Bad;
    nlohmann::json body;  // the object as read
    int64_t proto = 0;    // Version
    uint64_t seq = 0;     // Money: its number; Gap: the first number still held
    uint64_t since = 0;   // Gap: the number asked to go on after
    std::string text;     // Event: the unit's words; Error: the error and its reason
    std::string problem;  // Bad: why, in words
};

ServiceMessage parseServiceLine(std::string_view line);

// A string field, or "" when it is missing or not a string.
std::string textField(const nlohmann::json& object, const char* name);

}  // namespace halvek::uplink
