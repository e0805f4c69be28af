#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "uplink/tally.h"

namespace halvek::uplink {

// The topics of one kiosk: halvek/v1/<site>/<kiosk>/<leaf>.
std::string topicOf(const std::string& site, const std::string& kiosk, const char* leaf);

// A money record as it goes to the broker: the service's event without its class.
nlohmann::json moneyPayload(const nlohmann::json& event);

// What the kiosk's stacker is known to be, from the unit's events: "unknown"
// until one says, "full", "detached" or "in place".
std::string stackerAfter(const std::string& stacker, const std::string& eventText);

// The retained state: the service's STATUS with the stacker and the count of
// records in doubt added.
nlohmann::json statePayload(const nlohmann::json& status, const std::string& stacker, int64_t inDoubt);

// The cash box: count and value by bill type, from the acknowledged stacked records.
nlohmann::json cashboxPayload(const Tally& tally);

// What the uplink itself counted on its way, for the metrics.
struct UplinkCounters {
    int64_t published = 0;
    int64_t brokerSessions = 0;
    int64_t serviceSessions = 0;
};
nlohmann::json metricsPayload(const Tally& tally, const UplinkCounters& counters, int64_t timeMs);

// An alert when the event is one an operator must see: a jam, the stacker
// full or taken out, the link to the unit lost, a record in doubt.
std::optional<nlohmann::json> alertFor(const nlohmann::json& event);

}  // namespace halvek::uplink
