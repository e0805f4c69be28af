#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "uplink/broker_link.h"
#include "uplink/fleet_messages.h"
#include "uplink/outbox.h"
#include "uplink/service_link.h"
#include "uplink/service_message.h"
#include "uplink/settings.h"
#include "uplink/tally.h"

namespace halvek::uplink {

// The uplink: reads the service's money records, state and events and
// publishes them on the broker. The service's journal is the outbox: the
// service is read only while the broker is there, and after any break the
// uplink asks the service again for every record after the last one the broker
// acknowledged (kept in the state file).
class Uplink {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Uplink(Settings settings);
    // Reads the state file: false with the reason when it cannot be used.
    bool start(std::string& error);
    // Runs until `stop` turns true; returns the exit status.
    int run(const std::atomic<bool>& stop);

  private:
    enum class BrokerState { Waiting, Connecting, Up };

    void brokerStep(Clock::time_point now);
    void serviceStep(Clock::time_point now);
    void onBrokerUp();
    void dropBroker(const std::string& reason, bool refused);
    void dropService(const std::string& reason);
    void handleServiceLine(const std::string& line);
    void handleMoney(uint64_t seq, const nlohmann::json& event);
    void publishRetained(const char* leaf, const nlohmann::json& payload);
    void publishOnce(const char* leaf, const nlohmann::json& payload, int qos);
    void saveIfMoved();
    void shutDown();
    void say(const std::string& text) const;

    Settings settings_;
    StateFile stateFile_;
    Tally tally_;
    uint64_t savedAcked_ = 0;
    bool tallyMoved_ = false;
    bool cashboxMoved_ = false;
    Outbox outbox_;
    UplinkCounters counters_;
    std::string stacker_ = "unknown";
    nlohmann::json lastStatus_;
    int64_t shownInDoubt_ = 0;

    // What the broker's callbacks noticed, acted upon after they return.
    struct Noticed {
        bool connected = false;
        std::optional<std::string> refused;
        std::optional<std::string> lost;
        std::optional<int> offlineMid;
        bool offlineAcked = false;
    } noticed_;

    std::unique_ptr<BrokerLink> broker_;
    BrokerState brokerState_ = BrokerState::Waiting;
    Clock::time_point brokerRetryAt_{};
    Clock::time_point connectingSince_{};
    std::chrono::milliseconds brokerBackoff_{1000};

    ServiceLink service_;
    Clock::time_point serviceRetryAt_{};
    std::chrono::milliseconds serviceBackoff_{250};
    bool serviceGreeted_ = false;
    std::string serviceProblem_;  // the last reason said, so that a retry says it only when it changes

    Clock::time_point nextMetrics_{};
};

}  // namespace halvek::uplink
