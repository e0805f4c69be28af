#include "service/protocol.h"

#include <ctime>
#include <limits>

namespace halvek::service {

using nlohmann::json;

namespace {

struct CommandName {
    Command command;
    const char* name;
};

const CommandName kCommands[] = {
    {Command::Hello, "hello"},   {Command::Status, "status"},   {Command::Watch, "watch"}, {Command::Decide, "decide"},
    {Command::Enable, "enable"}, {Command::Inhibit, "inhibit"}, {Command::Ack, "ack"},
};

// The highest bill type a unit knows; "enable" names types 1..this.
constexpr int kMaxBillType = 24;

// A whole number that fits; JSON numbers like 3.0 or -1 are refused where a count is meant.
bool readUnsigned(const json& v, uint64_t& out) {
    if (!v.is_number_integer()) return false;
    if (v.is_number_unsigned()) {
        out = v.get<uint64_t>();
        return true;
    }
    const int64_t s = v.get<int64_t>();
    if (s < 0) return false;
    out = static_cast<uint64_t>(s);
    return true;
}

bool readSigned(const json& v, int64_t& out) {
    if (!v.is_number_integer()) return false;
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        out = static_cast<int64_t>(u);
        return true;
    }
    out = v.get<int64_t>();
    return true;
}

// Checks the fields of one command; "" when they are right, else what is wrong.
std::string readFields(const json& o, Request& r) {
    switch (r.command) {
        case Command::Hello: {
            if (o.contains("name")) {
                if (!o["name"].is_string()) return "\"name\" must be a string";
                r.name = o["name"].get<std::string>();
            }
            const auto role = o.find("role");
            if (role == o.end() || !role->is_string()) return "\"role\" must be \"observer\" or \"controller\"";
            if (*role == "observer")
                r.role = Role::Observer;
            else if (*role == "controller")
                r.role = Role::Controller;
            else
                return "\"role\" must be \"observer\" or \"controller\"";
            if (o.contains("takeover")) {
                if (!o["takeover"].is_boolean()) return "\"takeover\" must be true or false";
                r.takeover = o["takeover"].get<bool>();
            }
            return "";
        }
        case Command::Status:
            return "";
        case Command::Watch: {
            if (!o.contains("since")) return "";
            uint64_t since = 0;
            if (!readUnsigned(o["since"], since)) return "\"since\" must be a record number (0 or more)";
            r.since = since;
            return "";
        }
        case Command::Decide: {
            if (!o.contains("episode") || !readSigned(o["episode"], r.episode)) return "\"episode\" must be a number";
            const auto a = o.find("action");
            if (a != o.end() && *a == "accept")
                r.action = Action::Accept;
            else if (a != o.end() && *a == "return")
                r.action = Action::Return;
            else
                return "\"action\" must be \"accept\" or \"return\"";
            return "";
        }
        case Command::Enable: {
            const auto t = o.find("types");
            if (t == o.end() || !t->is_array()) return "\"types\" must be a list of bill types";
            for (const json& v : *t) {
                int64_t type = 0;
                if (!readSigned(v, type) || type < 1 || type > kMaxBillType)
                    return "\"types\" must hold bill types 1 to " + std::to_string(kMaxBillType);
                r.types.push_back(static_cast<int>(type));
            }
            return "";
        }
        case Command::Inhibit: {
            const auto on = o.find("on");
            if (on == o.end() || !on->is_boolean()) return "\"on\" must be true or false";
            r.on = on->get<bool>();
            return "";
        }
        case Command::Ack:
            if (!o.contains("seq") || !readUnsigned(o["seq"], r.seq)) return "\"seq\" must be a record number";
            return "";
    }
    return "";
}

void putEcho(json& j, const Echo& echo) {
    if (!echo.cmd.empty()) j["cmd"] = echo.cmd;
    if (echo.id) j["id"] = *echo.id;
}

std::string line(const json& j) {
    // Bytes that are not UTF-8 (a coupon's text) are replaced, never thrown over.
    return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

const char* roleName(Role role) { return role == Role::Controller ? "controller" : "observer"; }
const char* actionName(Action action) { return action == Action::Accept ? "accept" : "return"; }

ParsedRequest parseRequest(std::string_view text) {
    ParsedRequest p;
    const json o = json::parse(text.begin(), text.end(), nullptr, false);
    if (o.is_discarded()) {
        p.reason = "not a JSON object";
        return p;
    }
    if (!o.is_object()) {
        p.reason = "not a JSON object";
        return p;
    }
    if (const auto id = o.find("id"); id != o.end()) p.echo.id = *id;
    const auto cmd = o.find("cmd");
    if (cmd == o.end() || !cmd->is_string()) {
        p.reason = "no \"cmd\"";
        return p;
    }
    p.echo.cmd = cmd->get<std::string>();
    const CommandName* found = nullptr;
    for (const CommandName& c : kCommands)
        if (p.echo.cmd == c.name) found = &c;
    if (!found) {
        p.reason = "unknown command \"" + p.echo.cmd + "\"";
        return p;
    }
    p.request.command = found->command;
    p.request.echo = p.echo;
    p.reason = readFields(o, p.request);
    p.ok = p.reason.empty();
    return p;
}

LineSplitter::Result LineSplitter::next(std::string& out) {
    const size_t nl = buffer_.find('\n', scanned_);
    if (nl == std::string::npos) {
        scanned_ = buffer_.size();
        return buffer_.size() > max_ ? Result::Overlong : Result::NeedMore;
    }
    if (nl > max_) return Result::Overlong;
    size_t end = nl;
    if (end > 0 && buffer_[end - 1] == '\r') --end;
    out.assign(buffer_, 0, end);
    buffer_.erase(0, nl + 1);
    scanned_ = 0;
    return Result::Line;
}

std::string isoTime(int64_t timeMs) {
    const time_t secs = static_cast<time_t>(timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000);
    const int64_t ms = timeMs - static_cast<int64_t>(secs) * 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03dZ", buf, static_cast<int>(ms));
    return out;
}

bool parseIsoTime(std::string_view t, int64_t& timeMs) {
    // YYYY-MM-DDTHH:MM:SS.mmm then Z or +HH:MM / -HH:MM
    auto digits = [&t](size_t at, size_t n, int& out) {
        if (at + n > t.size()) return false;
        out = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, s, ms;
    if (t.size() < 24 || !digits(0, 4, y) || t[4] != '-' || !digits(5, 2, mo) || t[7] != '-' || !digits(8, 2, d) ||
        t[10] != 'T' || !digits(11, 2, h) || t[13] != ':' || !digits(14, 2, mi) || t[16] != ':' || !digits(17, 2, s) ||
        t[19] != '.' || !digits(20, 3, ms))
        return false;
    int offsetMin = 0;
    const std::string_view zone = t.substr(23);
    if (zone != "Z") {
        int oh, om;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digits(24, 2, oh) || zone[3] != ':' ||
            !digits(27, 2, om))
            return false;
        offsetMin = (zone[0] == '-' ? -1 : 1) * (oh * 60 + om);
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    timeMs = (static_cast<int64_t>(timegm(&tm)) - offsetMin * 60) * 1000 + ms;
    return true;
}

// The one place a money record becomes what a client reads. A figure the host
// does not know (a bill type with no value, a count not read) is null.
json recordJson(const MoneyRecord& r) {
    const MoneyEvent& e = r.event;
    auto figure = [](int64_t n) { return n < 0 ? json(nullptr) : json(n); };
    json j = {{"class", "EVENT"},
              {"seq", e.seq},
              {"kind", moneyKindName(e.kind)},
              {"episode", e.episode},
              {"type", e.type},
              {"value", figure(e.value)},
              {"currency", r.currency},
              {"time", isoTime(r.timeMs)}};
    if (r.decideByMs) j["decide_by"] = isoTime(*r.decideByMs);
    if (!r.defaultAction.empty()) j["default"] = r.defaultAction;
    if (!e.action.empty()) j["action"] = e.action;
    if (!e.by.empty()) j["by"] = e.by;
    if (!e.reason.empty()) j["reason"] = e.reason;
    if (e.kind == MoneyKind::Credit) j["credit"] = e.creditTotal;
    if (e.kind == MoneyKind::InDoubt) {
        j["unit_count"] = figure(e.unitCount);
        j["expected_count"] = figure(e.expectedCount);
    }
    return j;
}

std::string versionMessage(std::string_view release, std::string_view boot, std::string_view device) {
    return line(
        {{"class", "VERSION"}, {"release", release}, {"proto", kProtocolVersion}, {"boot", boot}, {"device", device}});
}

std::string helloMessage(const Echo& echo, Role role, const std::vector<MoneyRecord>& unacked) {
    json j = {{"class", "HELLO"}, {"role", roleName(role)}, {"unacked", json::array()}};
    for (const MoneyRecord& r : unacked) j["unacked"].push_back(recordJson(r));
    putEcho(j, echo);
    return line(j);
}

std::string statusMessage(const Echo& echo, const StatusView& s) {
    json j = {{"class", "STATUS"}, {"link", s.link},     {"state", s.state}, {"enabled", s.enabled},
              {"escrow", nullptr}, {"credit", s.credit}, {"seq", s.seq}};
    if (s.escrow) j["escrow"] = recordJson(*s.escrow);
    putEcho(j, echo);
    return line(j);
}

std::string eventMessage(const MoneyRecord& record) { return line(recordJson(record)); }

std::string noticeMessage(std::string_view kind, std::string_view text, int64_t timeMs) {
    return line({{"class", "EVENT"}, {"kind", kind}, {"text", text}, {"time", isoTime(timeMs)}});
}

std::string okMessage(const Echo& echo) {
    json j = {{"class", "OK"}};
    putEcho(j, echo);
    return line(j);
}

std::string errorMessage(const Echo& echo, std::string_view error, std::string_view reason) {
    json j = {{"class", "ERROR"}, {"error", error}, {"reason", reason}};
    putEcho(j, echo);
    return line(j);
}

std::string gapMessage(const Echo& echo, uint64_t since, uint64_t first) {
    json j = {{"class", "GAP"}, {"since", since}, {"first", first}};
    putEcho(j, echo);
    return line(j);
}

}  // namespace halvek::service
