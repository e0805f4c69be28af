#include "uplink/fleet_messages.h"

#include <algorithm>
#include <cctype>

#include "uplink/service_message.h"

namespace halvek::uplink {

using nlohmann::json;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool has(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

bool sayDetached(const std::string& t) {
    return (has(t, "stacker") || has(t, "cassette")) &&
           (has(t, "removed") || has(t, "detached") || has(t, "open") || has(t, "out of position"));
}

}  // namespace

std::string topicOf(const std::string& site, const std::string& kiosk, const char* leaf) {
    return "halvek/v1/" + site + "/" + kiosk + "/" + leaf;
}

json moneyPayload(const json& event) {
    json j = event;
    j.erase("class");
    return j;
}

std::string stackerAfter(const std::string& stacker, const std::string& eventText) {
    const std::string t = lower(eventText);
    if (has(t, "stacker full") || has(t, "cassette full")) return "full";
    if (sayDetached(t)) return "detached";
    if (has(t, "unit ready") || has(t, "power on reset") || has(t, "stacker replaced") || has(t, "cassette replaced"))
        return "in place";
    return stacker;
}

json statePayload(const json& status, const std::string& stacker, int64_t inDoubt) {
    json j = {{"link", textField(status, "link")},
              {"state", textField(status, "state")},
              {"enabled", status.contains("enabled") ? status["enabled"] : json::array()},
              {"stacker", stacker},
              {"in_doubt", inDoubt},
              {"credit", status.value("credit", json(0))},
              {"seq", status.value("seq", json(0))}};
    if (status.contains("escrow") && !status["escrow"].is_null()) j["escrow"] = moneyPayload(status["escrow"]);
    return j;
}

json cashboxPayload(const Tally& tally) {
    json types = json::object();
    int64_t count = 0, value = 0;
    for (const auto& [type, box] : tally.cashbox) {
        types[std::to_string(type)] = {{"count", box.count}, {"value", box.value}};
        count += box.count;
        value += box.value;
    }
    return {{"count", count}, {"value", value}, {"currency", tally.currency}, {"types", types}, {"seq", tally.acked}};
}

json metricsPayload(const Tally& tally, const UplinkCounters& c, int64_t timeMs) {
    return {{"time_ms", timeMs},
            {"seq", tally.acked},
            {"escrow_defaults", tally.escrowDefaults},
            {"returned", tally.returnedByReason},
            {"in_doubt", tally.inDoubt},
            {"published", c.published},
            {"broker_sessions", c.brokerSessions},
            {"service_sessions", c.serviceSessions},
            // The service does not say these on its socket; named so that a
            // dashboard shows them as missing rather than as zero.
            {"not_reported", {"frames_dropped", "frames_asked_again", "frames_given_up", "rejects_by_reason"}}};
}

std::optional<json> alertFor(const json& event) {
    const std::string kind = textField(event, "kind");
    const std::string text = lower(textField(event, "text"));
    std::string alert;
    if (kind == "in-doubt")
        alert = "in-doubt";
    else if (kind == "link" && (has(text, "no answer") || has(text, "not connected") || has(text, "lost")))
        alert = "link-lost";
    else if ((kind == "unit" || kind == "state") && has(text, "jam"))
        alert = "jam";
    else if ((kind == "unit" || kind == "state") && (has(text, "stacker full") || has(text, "cassette full")))
        alert = "stacker-full";
    else if ((kind == "unit" || kind == "state") && sayDetached(text))
        alert = "stacker-detached";
    if (alert.empty()) return std::nullopt;
    json j = moneyPayload(event);
    j["alert"] = alert;
    return j;
}

}  // namespace halvek::uplink
