// The uplink's reading of the service's lines: whatever bytes come, reading a
// line never throws, a money record always carries the number it was read
// with, and what the uplink builds from each message (the payload, the alert,
// the state, the sums) is made without throwing; the acknowledged mark only
// moves forward.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "uplink/fleet_messages.h"
#include "uplink/outbox.h"
#include "uplink/service_message.h"
#include "uplink/tally.h"

using namespace halvek::uplink;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Outbox outbox(4);
    Tally tally;
    std::string stacker = "unknown";
    int mid = 0;
    size_t at = 0;
    while (at < input.size()) {
        size_t end = input.find('\n', at);
        if (end == std::string_view::npos) end = input.size();
        std::string_view line = input.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const ServiceMessage m = parseServiceLine(line);
        using Kind = ServiceMessage::Kind;
        if (m.kind == Kind::Bad) {
            FUZZ_CHECK(!m.problem.empty(), "a line refused without a reason");
            continue;
        }
        FUZZ_CHECK(m.body.is_object(), "a message taken that is not an object");
        if (m.kind == Kind::Money) {
            FUZZ_CHECK(m.body["seq"].is_number_unsigned() && m.body["seq"].get<uint64_t>() == m.seq,
                       "a money record read with another number than it carries");
            const json payload = moneyPayload(m.body);
            FUZZ_CHECK(!payload.contains("class"), "a payload kept the service's class");
            (void)payload.dump();
            if (outbox.full()) outbox.reset(tally.acked);
            if (outbox.take(m.seq, payload)) outbox.sent(m.seq, ++mid);
            // Every other message acknowledged, out of order now and then.
            if (mid % 2 == 0) {
                for (const json& record : outbox.acknowledged(mid)) {
                    tally.count(record);
                    const uint64_t seq = record["seq"].get<uint64_t>();
                    FUZZ_CHECK(seq > tally.acked, "the acknowledged mark moved back");
                    tally.acked = seq;
                }
                (void)outbox.acknowledged(mid - 1);
            }
        } else if (m.kind == Kind::Event) {
            stacker = stackerAfter(stacker, m.text);
        } else if (m.kind == Kind::Status) {
            (void)statePayload(m.body, stacker, tally.inDoubt).dump();
        }
        if (auto alert = alertFor(m.body)) (void)alert->dump();
    }
    // The sums as they would be kept read back the same.
    Tally back;
    std::string error;
    FUZZ_CHECK(Tally::fromJson(json::parse(tally.toJson().dump()), back, error), "a kept tally does not read back");
    FUZZ_CHECK(back.toJson() == tally.toJson(), "a kept tally reads back otherwise");
    (void)cashboxPayload(tally).dump();
    return 0;
}
