#include "uplink/service_message.h"

namespace halvek::uplink {

using nlohmann::json;

namespace {

// An unsigned field, or nothing when it is missing, negative, fractional or not a number.
std::optional<uint64_t> numberField(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number_unsigned()) return std::nullopt;
    return it->get<uint64_t>();
}

ServiceMessage bad(std::string problem) {
    ServiceMessage m;
    m.kind = ServiceMessage::Kind::Bad;
    m.problem = std::move(problem);
    return m;
}

}  // namespace

std::string textField(const json& object, const char* name) {
    if (!object.is_object()) return {};
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

ServiceMessage parseServiceLine(std::string_view line) {
    json body = json::parse(line.begin(), line.end(), nullptr, false);
    if (body.is_discarded() || !body.is_object()) return bad("sent a line that is not a JSON object");
    ServiceMessage m;
    const std::string cls = textField(body, "class");
    if (cls == "VERSION") {
        m.kind = ServiceMessage::Kind::Version;
        // A protocol that is not a small whole number is none this uplink speaks.
        const auto proto = numberField(body, "proto");
        m.proto = proto && *proto < 1000000 ? static_cast<int64_t>(*proto) : 0;
    } else if (cls == "EVENT" && body.contains("seq")) {
        const auto seq = numberField(body, "seq");
        if (!seq) return bad("sent a record without a number");
        m.kind = ServiceMessage::Kind::Money;
        m.seq = *seq;
    } else if (cls == "EVENT") {
        m.kind = ServiceMessage::Kind::Event;
        m.text = textField(body, "text");
    } else if (cls == "STATUS") {
        m.kind = ServiceMessage::Kind::Status;
    } else if (cls == "GAP") {
        m.kind = ServiceMessage::Kind::Gap;
        m.since = numberField(body, "since").value_or(0);
        m.seq = numberField(body, "first").value_or(0);
    } else if (cls == "ERROR") {
        m.kind = ServiceMessage::Kind::Error;
        const std::string error = textField(body, "error");
        m.text = (error.empty() ? "an error" : error) + ": " + textField(body, "reason");
    } else {
        m.kind = ServiceMessage::Kind::Other;
    }
    m.body = std::move(body);
    return m;
}

}  // namespace halvek::uplink
