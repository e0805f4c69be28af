#include "uplink/settings.h"

#include <fstream>
#include <map>
#include <sstream>

namespace halvek::uplink {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The options that take a value, by their command-line name; the config file
// spells the same keys with underscores (tls_ca, password_file).
const std::vector<std::string> kKeys = {
    "socket", "broker",   "site",          "kiosk", "tls-ca",           "cert",
    "key",    "username", "password-file", "state", "metrics-interval", "max-pending"};

bool knownKey(const std::string& key) {
    for (const auto& k : kKeys)
        if (k == key) return true;
    return false;
}

bool parseNumber(const std::string& text, long min, long max, long& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = std::stol(text);
    return out >= min && out <= max;
}

// A topic level: no wildcard, no separator, nothing invisible.
bool goodLevel(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == '/' || c == '+' || c == '#' || c == 0x7f) return false;
    }
    return true;
}

bool apply(Settings& s, const std::string& key, const std::string& value, std::string& error) {
    long n = 0;
    if (key == "socket")
        s.socket = value;
    else if (key == "broker") {
        const auto colon = value.rfind(':');
        s.brokerHost = value.substr(0, colon);
        s.brokerPort = 0;
        if (colon != std::string::npos) {
            if (!parseNumber(value.substr(colon + 1), 1, 65535, n)) {
                error = "broker '" + value + "': the port must be a number from 1 to 65535";
                return false;
            }
            s.brokerPort = static_cast<int>(n);
        }
    } else if (key == "site")
        s.site = value;
    else if (key == "kiosk")
        s.kiosk = value;
    else if (key == "tls-ca")
        s.tlsCa = value;
    else if (key == "cert")
        s.cert = value;
    else if (key == "key")
        s.key = value;
    else if (key == "username")
        s.username = value;
    else if (key == "password-file")
        s.passwordFile = value;
    else if (key == "state")
        s.state = value;
    else if (key == "metrics-interval") {
        if (!parseNumber(value, 1, 86400, n)) {
            error = "metrics-interval '" + value + "': seconds from 1 to 86400";
            return false;
        }
        s.metricsSeconds = static_cast<int>(n);
    } else if (key == "max-pending") {
        if (!parseNumber(value, 1, 10000, n)) {
            error = "max-pending '" + value + "': a number from 1 to 10000";
            return false;
        }
        s.maxPending = static_cast<size_t>(n);
    }
    return true;
}

bool readConfig(const std::string& path, std::map<std::string, std::string>& out, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the config file " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : trim(line.substr(0, eq));
        for (char& c : key)
            if (c == '_') c = '-';
        if (key.empty() || !knownKey(key)) {
            error = path + ":" + std::to_string(number) + ": not a setting: '" + line + "'";
            return false;
        }
        out[key] = trim(line.substr(eq + 1));
    }
    return true;
}

bool finish(Settings& s, std::string& error) {
    if (s.brokerHost.empty())
        error = "no broker: give --broker HOST[:PORT]";
    else if (!goodLevel(s.site))
        error = "--site must be a name without spaces, '/', '+' or '#'";
    else if (!goodLevel(s.kiosk))
        error = "--kiosk must be a name without spaces, '/', '+' or '#'";
    else if (s.cert.empty() != s.key.empty())
        error = "--cert and --key go together";
    else if (!s.cert.empty() && s.tlsCa.empty())
        error = "--cert and --key need --tls-ca";
    else if (!s.passwordFile.empty() && s.username.empty())
        error = "--password-file needs --username";
    else if (s.state.empty())
        error = "--state must name a file";
    if (!error.empty()) return false;
    if (!s.passwordFile.empty()) {
        std::ifstream in(s.passwordFile);
        if (!in) {
            error = "cannot read the password file " + s.passwordFile;
            return false;
        }
        std::getline(in, s.password);
        if (!s.password.empty() && s.password.back() == '\r') s.password.pop_back();
    }
    return true;
}

}  // namespace

std::string usageText() {
    return "usage: halvek-uplink --broker HOST[:PORT] --site SITE --kiosk ID [--socket PATH] [--state FILE]\n"
           "                     [--tls-ca FILE [--cert FILE --key FILE]] [--username U [--password-file F]]\n"
           "                     [--metrics-interval S] [--max-pending N] [--config FILE]\n"
           "       halvek-uplink --help | --version\n"
           "Reads the money records, state and events of halvekd and publishes them under\n"
           "halvek/v1/SITE/KIOSK/ on an MQTT broker. Settings come from /etc/halvek/uplink.conf\n"
           "(key = value, the same names) and the command line, which wins.\n"
           "exit codes: 0 stopped by SIGTERM or SIGINT, 1 the state file cannot be used (the reason on stderr),\n"
           "2 bad command line or config file (the usage on stderr)\n";
}

ParsedSettings parseSettings(const std::vector<std::string>& args, const std::string& defaultConfig) {
    ParsedSettings r;
    std::map<std::string, std::string> given;
    std::string config;
    bool configNamed = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            r.outcome = ParsedSettings::Outcome::Help;
            return r;
        }
        if (a == "--version") {
            r.outcome = ParsedSettings::Outcome::Version;
            return r;
        }
        std::string key = a.rfind("--", 0) == 0 ? a.substr(2) : "";
        std::string value;
        const auto eq = key.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
        }
        if (key != "config" && !knownKey(key)) {
            r.error = "unknown option '" + a + "'";
            return r;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                r.error = a + " needs a value";
                return r;
            }
            value = args[++i];
        }
        if (key == "config") {
            config = value;
            configNamed = true;
        } else {
            given[key] = value;
        }
    }
    std::map<std::string, std::string> merged;
    if (!configNamed) {
        std::ifstream probe(defaultConfig);
        if (probe) config = defaultConfig;
    }
    if (!config.empty() && !readConfig(config, merged, r.error)) return r;
    for (const auto& [k, v] : given) merged[k] = v;
    for (const auto& [k, v] : merged)
        if (!apply(r.settings, k, v, r.error)) return r;
    if (!finish(r.settings, r.error)) return r;
    r.outcome = ParsedSettings::Outcome::Run;
    return r;
}

}  // namespace halvek::uplink
