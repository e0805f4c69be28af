#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/money_record.h"

namespace halvek::service {

// The socket protocol: one JSON object per line each way. Requests carry "cmd"
// and an optional "id" that the answer echoes; server messages carry "class".

constexpr int kProtocolVersion = 1;
// A request line longer than this is refused and its connection closed.
constexpr size_t kMaxRequestLine = 64 * 1024;

enum class Command { Hello, Status, Watch, Decide, Enable, Inhibit, Ack };
enum class Role { Observer, Controller };
enum class Action { Accept, Return };

const char* roleName(Role role);
const char* actionName(Action action);

// What an answer echoes of its request: its "cmd" and its "id" when it had one.
struct Echo {
    std::string cmd;
    std::optional<nlohmann::json> id;
};

// A request read from a client, its fields checked for the command it names.
struct Request {
    Command command = Command::Status;
    Echo echo;
    std::string name;                // hello
    Role role = Role::Observer;      // hello
    bool takeover = false;           // hello
    std::optional<uint64_t> since;   // watch
    int64_t episode = 0;             // decide
    Action action = Action::Return;  // decide
    std::vector<int> types;          // enable
    bool on = false;                 // inhibit
    uint64_t seq = 0;                // ack
};

struct ParsedRequest {
    bool ok = false;
    Request request;     // when ok
    Echo echo;           // what could be read of cmd and id, for the error answer
    std::string reason;  // when not ok: what is wrong, in words
};

// Reads one request line (without its newline). Unknown fields are ignored.
ParsedRequest parseRequest(std::string_view line);

// Splits a client's byte stream into lines. A line that grows past the bound is
// reported once as overlong; the caller closes the connection then.
class LineSplitter {
  public:
    enum class Result { Line, NeedMore, Overlong };
    explicit LineSplitter(size_t maxLine = kMaxRequestLine) : max_(maxLine) {}
    void feed(const char* data, size_t size) { buffer_.append(data, size); }
    // The next whole line (CR LF or LF taken off), NeedMore, or Overlong.
    Result next(std::string& line);

  private:
    size_t max_;
    std::string buffer_;
    size_t scanned_ = 0;
};

// What a STATUS message reports.
struct StatusView {
    std::string link = "not connected";  // unit answering | waiting for the unit | no answer | not connected
    std::string state = "idle";
    std::vector<int> enabled;
    std::optional<MoneyRecord> escrow;  // the escrow record of the bill being held
    int64_t credit = 0;
    uint64_t seq = 0;  // the last record's number
};

// The builders of every server message: one line each, newline included.
std::string versionMessage(std::string_view release, std::string_view boot, std::string_view device);
std::string helloMessage(const Echo& echo, Role role, const std::vector<MoneyRecord>& unacked);
std::string statusMessage(const Echo& echo, const StatusView& status);
std::string eventMessage(const MoneyRecord& record);
// A happening that is not a money record: kind is "state", "link" or "unit", text its words.
std::string noticeMessage(std::string_view kind, std::string_view text, int64_t timeMs);
std::string okMessage(const Echo& echo);
std::string errorMessage(const Echo& echo, std::string_view error, std::string_view reason);
// Records after `since` are no longer held: the oldest kept is `first`.
std::string gapMessage(const Echo& echo, uint64_t since, uint64_t first);

nlohmann::json recordJson(const MoneyRecord& record);
// "2026-12-10T23:17:53.125Z"
std::string isoTime(int64_t timeMs);
// The same back, from any ISO 8601 time with milliseconds and "Z" or an offset
// ("2026-12-11T00:17:53.125+01:00"); false when the text is not one.
bool parseIsoTime(std::string_view text, int64_t& timeMs);

// The error names a client can rely on.
namespace err {
inline constexpr const char* BadRequest = "bad-request";
inline constexpr const char* NotController = "not-controller";
inline constexpr const char* ControllerTaken = "controller-taken";
inline constexpr const char* NoSuchEpisode = "no-such-episode";
inline constexpr const char* AlreadyDecided = "already-decided";
inline constexpr const char* Unavailable = "unavailable";
}  // namespace err

}  // namespace halvek::service
