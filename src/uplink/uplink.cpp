#include "uplink/uplink.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace halvek::uplink {

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr auto kBrokerBackoffMax = std::chrono::milliseconds(60000);
constexpr auto kServiceBackoffMax = std::chrono::milliseconds(10000);
constexpr auto kConnectTimeout = 30s;

std::string seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms.count()) / 1000.0);
    return text;
}

int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Uplink::Uplink(Settings settings)
    : settings_(std::move(settings)), stateFile_(settings_.state), outbox_(settings_.maxPending) {}

void Uplink::say(const std::string& text) const { std::cerr << "halvek-uplink: " << text << std::endl; }

bool Uplink::start(std::string& error) {
    if (!stateFile_.load(tally_, error)) return false;
    // A state file that cannot be written would make every restart send it all again.
    if (!stateFile_.save(tally_, error)) return false;
    savedAcked_ = tally_.acked;
    outbox_.reset(tally_.acked);
    BrokerLink::Handlers h;
    h.connected = [this] { noticed_.connected = true; };
    h.refused = [this](const std::string& why) { noticed_.refused = why; };
    h.lost = [this](const std::string& why) {
        if (!noticed_.lost) noticed_.lost = why;
    };
    h.acknowledged = [this](int mid) {
        if (noticed_.offlineMid && *noticed_.offlineMid == mid) noticed_.offlineAcked = true;
        for (json& record : outbox_.acknowledged(mid)) {
            tally_.count(record);
            tally_.acked = record.value("seq", tally_.acked);
            tallyMoved_ = true;
            if (textField(record, "kind") == "stacked") cashboxMoved_ = true;
        }
    };
    broker_ = std::make_unique<BrokerLink>(settings_, std::move(h));
    say("resuming after record " + std::to_string(tally_.acked) + " (" + stateFile_.path() + ")");
    return true;
}

int Uplink::run(const std::atomic<bool>& stop) {
    brokerRetryAt_ = Clock::now();
    while (!stop.load()) {
        const auto now = Clock::now();
        brokerStep(now);
        if (brokerState_ == BrokerState::Up) serviceStep(now);
        saveIfMoved();

        // Wait for either socket, or for the next thing due.
        Clock::time_point due = now + 1s;
        if (brokerState_ == BrokerState::Waiting) due = std::min(due, brokerRetryAt_);
        if (brokerState_ == BrokerState::Up && !service_.open()) due = std::min(due, serviceRetryAt_);
        if (brokerState_ == BrokerState::Up) due = std::min(due, nextMetrics_);
        pollfd fds[2];
        nfds_t n = 0;
        int brokerIndex = -1, serviceIndex = -1;
        if (broker_->active() && broker_->fd() >= 0) {
            brokerIndex = static_cast<int>(n);
            fds[n++] = {broker_->fd(), static_cast<short>(POLLIN | (broker_->wantWrite() ? POLLOUT : 0)), 0};
        }
        // The service is read only while the outbox has room: the rest stays in its journal.
        const bool room = !outbox_.full() && service_.buffered() < ServiceLink::kMaxLine;
        if (service_.open() && room) {
            serviceIndex = static_cast<int>(n);
            fds[n++] = {service_.fd(), POLLIN, 0};
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
        const int rc = ::poll(fds, n, static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 1000)));
        if (rc < 0 && errno != EINTR) {
            say(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (brokerIndex >= 0 && broker_->active()) {
            const short re = fds[brokerIndex].revents;
            broker_->service((re & (POLLIN | POLLERR | POLLHUP)) != 0, (re & POLLOUT) != 0);
        } else if (broker_->active()) {
            broker_->service(false, false);
        }
        if (serviceIndex >= 0 && (fds[serviceIndex].revents & (POLLIN | POLLERR | POLLHUP))) {
            std::string why;
            if (!service_.readAvailable(why)) dropService(why);
        }
    }
    shutDown();
    return 0;
}

void Uplink::brokerStep(Clock::time_point now) {
    if (noticed_.refused) {
        const std::string why = *noticed_.refused;
        noticed_ = {};
        dropBroker("refused the login: " + why, true);
        return;
    }
    if (noticed_.lost) {
        const std::string why = *noticed_.lost;
        noticed_ = {};
        dropBroker(why, false);
        return;
    }
    if (noticed_.connected) {
        noticed_.connected = false;
        onBrokerUp();
    }
    switch (brokerState_) {
        case BrokerState::Waiting:
            if (now >= brokerRetryAt_) {
                std::string error;
                if (broker_->connect(error)) {
                    brokerState_ = BrokerState::Connecting;
                    connectingSince_ = now;
                } else {
                    dropBroker(error, false);
                }
            }
            break;
        case BrokerState::Connecting:
            if (now - connectingSince_ > kConnectTimeout) dropBroker("no answer to the login", false);
            break;
        case BrokerState::Up:
            if (now >= nextMetrics_) {
                nextMetrics_ = now + std::chrono::seconds(settings_.metricsSeconds);
                publishOnce("metrics", metricsPayload(tally_, counters_, wallMs()), 0);
                std::string why;
                if (service_.open() && serviceGreeted_ && !service_.send(R"({"cmd":"status"})", why)) dropService(why);
            }
            break;
    }
}

void Uplink::onBrokerUp() {
    brokerState_ = BrokerState::Up;
    brokerBackoff_ = 1000ms;
    ++counters_.brokerSessions;
    say("connected to the broker " + settings_.brokerName());
    outbox_.reset(tally_.acked);
    publishRetained("status", {{"online", true}});
    publishRetained("cashbox", cashboxPayload(tally_));
    nextMetrics_ = Clock::now() + std::chrono::seconds(settings_.metricsSeconds);
    serviceRetryAt_ = Clock::now();
    serviceBackoff_ = 250ms;
}

void Uplink::dropBroker(const std::string& reason, bool refused) {
    broker_->close(false);
    noticed_ = {};
    // What was sent and not acknowledged is asked of the service again next time.
    service_.close();
    serviceGreeted_ = false;
    outbox_.reset(tally_.acked);
    brokerState_ = BrokerState::Waiting;
    brokerRetryAt_ = Clock::now() + brokerBackoff_;
    say("broker " + settings_.brokerName() + (refused ? " " : ": ") + reason + "; trying again in " +
        seconds(brokerBackoff_));
    brokerBackoff_ = std::min(brokerBackoff_ * 2, kBrokerBackoffMax);
}

void Uplink::serviceStep(Clock::time_point now) {
    if (!service_.open()) {
        if (now < serviceRetryAt_) return;
        std::string why;
        if (!service_.connect(settings_.socket, why)) {
            dropService(why);
            return;
        }
        ++counters_.serviceSessions;
        serviceGreeted_ = false;
    }
    std::string line;
    // Lines are taken while the outbox has room; the rest wait in the buffer.
    while (service_.open() && !outbox_.full() && service_.nextLine(line)) handleServiceLine(line);
}

void Uplink::dropService(const std::string& reason) {
    const bool wasGreeted = serviceGreeted_;
    service_.close();
    serviceGreeted_ = false;
    serviceRetryAt_ = Clock::now() + serviceBackoff_;
    if (reason != serviceProblem_ || wasGreeted)
        say("service " + settings_.socket + ": " + reason + "; trying again in " + seconds(serviceBackoff_) +
            " (and every " + seconds(kServiceBackoffMax) + " at most while it stays so)");
    serviceProblem_ = reason;
    serviceBackoff_ = std::min(serviceBackoff_ * 2, kServiceBackoffMax);
}

void Uplink::handleServiceLine(const std::string& line) {
    using Kind = ServiceMessage::Kind;
    const ServiceMessage message = parseServiceLine(line);
    std::string why;
    switch (message.kind) {
        case Kind::Bad:
            dropService(message.problem + ": not the service's protocol");
            return;
        case Kind::Version: {
            if (message.proto != 1) {
                dropService("speaks protocol " + std::to_string(message.proto) + ", this uplink 1");
                return;
            }
            const std::string watch = json{{"cmd", "watch"}, {"since", outbox_.lastTaken()}}.dump();
            if (!service_.send(R"({"cmd":"hello","name":"halvek-uplink","role":"observer"})", why) ||
                !service_.send(watch, why) || !service_.send(R"({"cmd":"status"})", why)) {
                dropService(why);
                return;
            }
            serviceGreeted_ = true;
            serviceBackoff_ = 250ms;
            if (!serviceProblem_.empty()) say("service " + settings_.socket + " is back");
            serviceProblem_.clear();
            return;
        }
        case Kind::Money:
            handleMoney(message.seq, message.body);
            return;
        case Kind::Event:
            stacker_ = stackerAfter(stacker_, message.text);
            if (auto alert = alertFor(message.body)) publishOnce("alert", *alert, 1);
            if (!service_.send(R"({"cmd":"status"})", why)) dropService(why);
            return;
        case Kind::Status:
            lastStatus_ = message.body;
            shownInDoubt_ = tally_.inDoubt;
            publishRetained("state", statePayload(message.body, stacker_, tally_.inDoubt));
            return;
        case Kind::Gap:
            say("the service's journal no longer holds the records after " + std::to_string(message.since) +
                "; going on from " + std::to_string(message.seq));
            publishOnce("alert",
                        {{"alert", "gap"}, {"since", message.since}, {"first", message.seq}, {"time_ms", wallMs()}}, 1);
            return;
        case Kind::Error:
            say("service " + settings_.socket + " answered " + message.text);
            return;
        case Kind::Other:
            return;
    }
}

void Uplink::handleMoney(uint64_t seq, const json& event) {
    const json payload = moneyPayload(event);
    if (!outbox_.take(seq, payload)) return;  // already sent in this session
    int mid = 0;
    std::string why;
    if (!broker_->publish(topicOf(settings_.site, settings_.kiosk, "money"), payload.dump(), 1, false, &mid, why)) {
        noticed_.lost = "cannot publish: " + why;
        return;
    }
    outbox_.sent(seq, mid);
    ++counters_.published;
    if (auto alert = alertFor(event)) publishOnce("alert", *alert, 1);
}

void Uplink::publishRetained(const char* leaf, const json& payload) {
    std::string why;
    if (!broker_->publish(topicOf(settings_.site, settings_.kiosk, leaf), payload.dump(), 1, true, nullptr, why))
        noticed_.lost = "cannot publish: " + why;
}

void Uplink::publishOnce(const char* leaf, const json& payload, int qos) {
    std::string why;
    if (!broker_->publish(topicOf(settings_.site, settings_.kiosk, leaf), payload.dump(), qos, false, nullptr, why))
        noticed_.lost = "cannot publish: " + why;
}

void Uplink::saveIfMoved() {
    if (!tallyMoved_) return;
    tallyMoved_ = false;
    std::string error;
    if (!stateFile_.save(tally_, error)) {
        // Going on is safe: a restart sends again what the broker already has
        // (the same numbers), it loses nothing.
        say(error + "; records after " + std::to_string(savedAcked_) + " will be sent again after a restart");
    } else {
        savedAcked_ = tally_.acked;
    }
    if (brokerState_ != BrokerState::Up) return;
    if (cashboxMoved_) {
        cashboxMoved_ = false;
        publishRetained("cashbox", cashboxPayload(tally_));
    }
    if (tally_.inDoubt != shownInDoubt_ && !lastStatus_.is_null()) {
        shownInDoubt_ = tally_.inDoubt;
        publishRetained("state", statePayload(lastStatus_, stacker_, tally_.inDoubt));
    }
}

void Uplink::shutDown() {
    service_.close();
    if (brokerState_ == BrokerState::Up) {
        // A clean disconnect drops the Last Will: the status is said here.
        int mid = 0;
        std::string why;
        const std::string topic = topicOf(settings_.site, settings_.kiosk, "status");
        if (broker_->publish(topic, R"({"online":false})", 1, true, &mid, why)) {
            noticed_.offlineMid = mid;
            const auto deadline = Clock::now() + 2s;
            while (!noticed_.offlineAcked && !noticed_.lost && Clock::now() < deadline && broker_->active()) {
                pollfd p{broker_->fd(), static_cast<short>(POLLIN | (broker_->wantWrite() ? POLLOUT : 0)), 0};
                if (::poll(&p, 1, 100) < 0 && errno != EINTR) break;
                broker_->service((p.revents & POLLIN) != 0, (p.revents & POLLOUT) != 0);
            }
        }
        saveIfMoved();
        broker_->close(true);
    }
    say("stopped after record " + std::to_string(tally_.acked));
}

}  // namespace halvek::uplink
