#pragma once

#include <functional>
#include <string>

#include "uplink/settings.h"

struct mosquitto;

namespace halvek::uplink {

// One session with the MQTT broker through libmosquitto, driven from the
// uplink's own poll loop (no thread of libmosquitto's). Every attempt to
// connect makes a new client, so that nothing of a lost session is sent again
// behind the uplink's back: what was not acknowledged is read again from the
// service's journal.
class BrokerLink {
  public:
    struct Handlers {
        std::function<void()> connected;
        // The broker answered the login with a refusal; the reason in words.
        std::function<void(const std::string&)> refused;
        std::function<void(const std::string&)> lost;
        std::function<void(int mid)> acknowledged;
    };

    BrokerLink(const Settings& settings, Handlers handlers);
    ~BrokerLink();
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;

    // Starts connecting: false with the reason when it fails at once.
    bool connect(std::string& error);
    // Ends the session: cleanly (the broker drops the Last Will) or not.
    void close(bool clean);
    bool active() const { return client_ != nullptr; }

    int fd() const;
    bool wantWrite() const;
    // Reads, writes and keeps the session alive after poll said the socket's state.
    // False when the session is gone (the lost handler has been told).
    bool service(bool readable, bool writable);

    // False with the reason when the message cannot be queued.
    bool publish(const std::string& topic, const std::string& payload, int qos, bool retain, int* mid,
                 std::string& error);

  private:
    void fail(const std::string& reason);

    const Settings& settings_;
    Handlers handlers_;
    mosquitto* client_ = nullptr;
    bool closing_ = false;
};

}  // namespace halvek::uplink
