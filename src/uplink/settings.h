#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvek::uplink {

// Where the uplink reads the kiosk's records and where it sends them.
struct Settings {
    std::string socket = "/run/halvekd/halvekd.sock";
    std::string brokerHost;
    int brokerPort = 0;  // 0: 1883, or 8883 with TLS
    std::string site;
    std::string kiosk;
    std::string tlsCa;
    std::string cert;
    std::string key;
    std::string username;
    std::string passwordFile;
    std::string password;  // read from passwordFile, never from the command line
    std::string state = "/var/lib/halvek-uplink/state";
    int metricsSeconds = 60;
    size_t maxPending = 1000;  // records sent and not yet acknowledged by the broker

    int port() const { return brokerPort ? brokerPort : (tlsCa.empty() ? 1883 : 8883); }
    std::string brokerName() const { return brokerHost + ":" + std::to_string(port()); }
};

constexpr const char* kDefaultConfig = "/etc/halvek/uplink.conf";

struct ParsedSettings {
    enum class Outcome { Run, Help, Version, Error };
    Outcome outcome = Outcome::Error;
    Settings settings;
    std::string error;  // when Error: what is wrong, in words
};

// The command line over the config file: --config FILE names the file (it must
// exist); without it the default one is read when it is there. The settings are
// checked as a whole and the password file is read.
ParsedSettings parseSettings(const std::vector<std::string>& args, const std::string& defaultConfig = kDefaultConfig);

std::string usageText();

}  // namespace halvek::uplink
