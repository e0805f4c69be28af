#include "uplink/broker_link.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "uplink/fleet_messages.h"

namespace halvek::uplink {

namespace {

const char* kOffline = "{\"online\":false}";

std::string errorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
    return mosquitto_strerror(rc);
}

void onConnect(mosquitto*, void* obj, int rc) {
    auto* h = static_cast<BrokerLink::Handlers*>(obj);
    if (rc == 0) {
        h->connected();
    } else {
        h->refused(mosquitto_connack_string(rc));
    }
}

void onDisconnect(mosquitto*, void* obj, int rc) {
    auto* h = static_cast<BrokerLink::Handlers*>(obj);
    if (rc != 0) h->lost("the connection was lost");
}

void onPublish(mosquitto*, void* obj, int mid) { static_cast<BrokerLink::Handlers*>(obj)->acknowledged(mid); }

}  // namespace

BrokerLink::BrokerLink(const Settings& settings, Handlers handlers)
    : settings_(settings), handlers_(std::move(handlers)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

BrokerLink::~BrokerLink() { close(false); }

bool BrokerLink::connect(std::string& error) {
    close(false);
    const std::string id = "halvek-" + settings_.site + "-" + settings_.kiosk;
    client_ = mosquitto_new(id.c_str(), true, &handlers_);
    if (!client_) {
        error = "cannot make an MQTT client: " + std::string(std::strerror(errno));
        return false;
    }
    closing_ = false;
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_publish_callback_set(client_, onPublish);
    // The broker itself bounds what is in flight; the uplink's outbox bounds the rest.
    mosquitto_max_inflight_messages_set(client_, 100);
    const std::string status = topicOf(settings_.site, settings_.kiosk, "status");
    int rc = mosquitto_will_set(client_, status.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !settings_.username.empty())
        rc = mosquitto_username_pw_set(client_, settings_.username.c_str(),
                                       settings_.passwordFile.empty() ? nullptr : settings_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && !settings_.tlsCa.empty())
        rc = mosquitto_tls_set(client_, settings_.tlsCa.c_str(), nullptr,
                               settings_.cert.empty() ? nullptr : settings_.cert.c_str(),
                               settings_.key.empty() ? nullptr : settings_.key.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = "the MQTT settings were refused: " + errorText(rc);
        close(false);
        return false;
    }
    rc = mosquitto_connect_async(client_, settings_.brokerHost.c_str(), settings_.port(), 30);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = errorText(rc);
        close(false);
        return false;
    }
    return true;
}

void BrokerLink::close(bool clean) {
    if (!client_) return;
    if (clean) {
        closing_ = true;
        mosquitto_disconnect(client_);
        mosquitto_loop_write(client_, 1);
    }
    mosquitto_destroy(client_);
    client_ = nullptr;
}

int BrokerLink::fd() const { return client_ ? mosquitto_socket(client_) : -1; }

bool BrokerLink::wantWrite() const { return client_ && mosquitto_want_write(client_); }

bool BrokerLink::service(bool readable, bool writable) {
    if (!client_) return false;
    int rc = MOSQ_ERR_SUCCESS;
    if (readable) rc = mosquitto_loop_read(client_, 1);
    if (rc == MOSQ_ERR_SUCCESS && client_ && writable) rc = mosquitto_loop_write(client_, 1);
    if (rc == MOSQ_ERR_SUCCESS && client_) rc = mosquitto_loop_misc(client_);
    if (!client_) return false;  // a handler closed the session
    if (rc != MOSQ_ERR_SUCCESS) {
        fail(rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN ? "the connection was lost" : errorText(rc));
        return false;
    }
    return true;
}

bool BrokerLink::publish(const std::string& topic, const std::string& payload, int qos, bool retain, int* mid,
                         std::string& error) {
    if (!client_) {
        error = "not connected";
        return false;
    }
    const int rc =
        mosquitto_publish(client_, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = errorText(rc);
        return false;
    }
    return true;
}

void BrokerLink::fail(const std::string& reason) {
    close(false);
    handlers_.lost(reason);
}

}  // namespace halvek::uplink
