#include "cli/service_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "host/line_options.h"

namespace halvek::cli {
namespace {

using nlohmann::json;

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

// A connection to halvekd: JSON lines each way.
class ServiceConnection {
  public:
    ~ServiceConnection() {
        if (fd_ >= 0) ::close(fd_);
    }
    // "" when connected, else why not.
    std::string open(const std::string& path) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (path.empty() || path.size() >= sizeof a.sun_path)
            return "socket " + path + ": the path is empty or too long";
        std::memcpy(a.sun_path, path.data(), path.size());
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return "cannot connect to halvekd at " + path + ": " + std::strerror(errno);
        return "";
    }
    bool send(const json& j) {
        const std::string line = j.dump() + "\n";
        size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // The next line; none when the daemon closed the connection or a stop was asked for.
    std::optional<std::string> line() {
        for (;;) {
            const size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return l;
            }
            if (stopRequested) return std::nullopt;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;  // a signal or nothing yet: looks at the stop again
            char chunk[16384];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }
    // The answer to a request (the line echoing its id); null when none came.
    json ask(json request, int id) {
        request["id"] = id;
        if (!send(request)) return nullptr;
        while (auto l = line()) {
            json j = json::parse(*l, nullptr, false);
            if (j.is_object() && j.contains("id") && j["id"] == id) return j;
        }
        return nullptr;
    }

  private:
    int fd_ = -1;
    std::string buf_;
};

std::string number(const json& j, const char* key) {
    return j.contains(key) && j[key].is_number() ? j[key].dump() : "?";
}
std::string text(const json& j, const char* key) {
    return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : "";
}

// One event in the monitor's words.
std::string eventLine(const json& m) {
    const std::string cls = text(m, "class");
    if (cls == "GAP")
        return "money: records after " + number(m, "since") + " are no longer kept; the oldest is " +
               number(m, "first");
    if (cls != "EVENT") return "";
    const std::string kind = text(m, "kind");
    if (!m.contains("seq")) return kind + ": " + text(m, "text");
    std::string s = "money: #" + number(m, "seq") + " " + kind;
    if (number(m, "episode") != "0") s += " episode " + number(m, "episode");
    const std::string value = number(m, "value");
    s += " : " + (text(m, "currency").empty() ? std::string("type ") + number(m, "type")
                                              : text(m, "currency") + " " + (value == "-1" ? "?" : value));
    if (kind == "credit") s += " (credit " + number(m, "credit") + ")";
    if (!text(m, "action").empty()) s += " " + text(m, "action");
    if (!text(m, "by").empty()) s += " by " + text(m, "by");
    // A record replayed from the journal no longer carries its deadline.
    if (kind == "escrow" && !text(m, "default").empty())
        s += ", " + text(m, "default") + (text(m, "decide_by").empty() ? "" : " at " + text(m, "decide_by"));
    if (!text(m, "reason").empty()) s += " (" + text(m, "reason") + ")";
    return s;
}

const char* const kWatchUsage =
    "usage: halvek-cli watch --socket PATH [--since SEQ] [--json]\n"
    "  --socket PATH  halvekd's socket\n"
    "  --since SEQ    first the money records after SEQ, from the daemon's journal\n"
    "  --json         the daemon's JSON lines as they come\n";
const char* const kDecideUsage =
    "usage: halvek-cli decide EPISODE accept|return --socket PATH [--takeover]\n"
    "  decides the bill in escrow of EPISODE as halvekd's controller\n"
    "  --takeover  takes the controller role from the program of the same user that holds it;\n"
    "              the unit then takes no bill until a controller says hello again\n";

std::string watchUsage() { return kWatchUsage + exitCodes("halvekd cannot be reached or closed the connection"); }
std::string decideUsage() { return kDecideUsage + exitCodes("halvekd cannot be reached or refused the decision"); }

}  // namespace

int runWatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string socketPath;
    std::optional<long> since;
    bool asJson = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string* v = i + 1 < args.size() ? &args[i + 1] : nullptr;
        long n = 0;
        if (a == "--socket") {
            if (!v || v->empty()) return usageError(err, "watch", badValue(a, "a socket path", v), watchUsage());
            socketPath = args[++i];
        } else if (a == "--since") {
            if (!v || !parseInt(*v, 0, 0x7fffffffL, n))
                return usageError(err, "watch", badValue(a, "a record number", v), watchUsage());
            since = n;
            ++i;
        } else if (a == "--json") {
            asJson = true;
        } else if (a == "--help" || a == "-h") {
            out << watchUsage();
            return 0;
        } else {
            return usageError(err, "watch", "bad option " + escapeForTerminal(a), watchUsage());
        }
    }
    if (socketPath.empty()) return usageError(err, "watch", "--socket PATH is needed", watchUsage());
    ServiceConnection c;
    if (const std::string e = c.open(socketPath); !e.empty()) {
        err << "halvek-cli watch: " << e << "\n";
        return 1;
    }
    stopRequested = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    json watch = {{"cmd", "watch"}};
    if (since) watch["since"] = *since;
    const bool sent = c.send({{"cmd", "hello"}, {"name", "halvek-cli watch"}, {"role", "observer"}}) && c.send(watch);
    int rc = 1;
    while (sent) {
        const std::optional<std::string> l = c.line();
        if (!l) {
            rc = stopRequested ? 0 : 1;
            if (!stopRequested) err << "halvek-cli watch: halvekd closed the connection\n";
            break;
        }
        if (asJson) {
            out << *l << "\n" << std::flush;
            continue;
        }
        const json m = json::parse(*l, nullptr, false);
        if (m.is_discarded()) continue;
        if (text(m, "class") == "ERROR") {
            err << "halvek-cli watch: " << escapeForTerminal(text(m, "reason")) << "\n";
            continue;
        }
        const std::string line = eventLine(m);
        if (!line.empty()) out << escapeForTerminal(line) << "\n" << std::flush;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return rc;
}

int runDecide(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string socketPath, action;
    long episode = -1;
    bool takeover = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--socket") {
            const std::string* v = i + 1 < args.size() ? &args[i + 1] : nullptr;
            if (!v || v->empty()) return usageError(err, "decide", badValue(a, "a socket path", v), decideUsage());
            socketPath = args[++i];
        } else if (a == "--takeover") {
            takeover = true;
        } else if (a == "--help" || a == "-h") {
            out << decideUsage();
            return 0;
        } else if (episode < 0 && parseInt(a, 1, 0x7fffffffL, episode)) {
        } else if (action.empty() && (a == "accept" || a == "return")) {
            action = a;
        } else {
            return usageError(err, "decide", "bad argument " + escapeForTerminal(a), decideUsage());
        }
    }
    if (socketPath.empty() || episode < 0 || action.empty())
        return usageError(err, "decide", "give EPISODE, accept or return, and --socket PATH", decideUsage());
    ServiceConnection c;
    if (const std::string e = c.open(socketPath); !e.empty()) {
        err << "halvek-cli decide: " << e << "\n";
        return 1;
    }
    json helloRequest = {{"cmd", "hello"}, {"name", "halvek-cli decide"}, {"role", "controller"}};
    if (takeover) helloRequest["takeover"] = true;
    const json hello = c.ask(helloRequest, 1);
    const json answer = text(hello, "class") == "HELLO"
                            ? c.ask({{"cmd", "decide"}, {"episode", episode}, {"action", action}}, 2)
                            : hello;
    if (text(answer, "class") == "OK") {
        out << "episode " << episode << ": " << action << "\n";
        return 0;
    }
    err << "halvek-cli decide: "
        << (answer.is_null() ? std::string("halvekd closed the connection")
                             : escapeForTerminal(text(answer, "error") + ": " + text(answer, "reason")))
        << "\n";
    return 1;
}

}  // namespace halvek::cli
