// halvek-uplink: publishes a kiosk's money records, state and events from
// halvekd on an MQTT broker.
#include <csignal>
#include <iostream>

#include "uplink/settings.h"
#include "uplink/uplink.h"

namespace {

std::atomic<bool> stopRequested{false};

void onSignal(int) { stopRequested.store(true); }

}  // namespace

int main(int argc, char** argv) {
    using namespace halvek::uplink;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedSettings parsed = parseSettings(args);
    switch (parsed.outcome) {
        case ParsedSettings::Outcome::Help:
            std::cout << usageText();
            return 0;
        case ParsedSettings::Outcome::Version:
            std::cout << "halvek-uplink " << HALVEK_VERSION << "\n";
            return 0;
        case ParsedSettings::Outcome::Error:
            std::cerr << "halvek-uplink: " << parsed.error << "\n" << usageText();
            return 2;
        case ParsedSettings::Outcome::Run:
            break;
    }
    // No SA_RESTART: a signal ends the poll at once.
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Uplink uplink(parsed.settings);
    std::string error;
    if (!uplink.start(error)) {
        std::cerr << "halvek-uplink: " << error << "\n";
        return 1;
    }
    return uplink.run(stopRequested);
}
