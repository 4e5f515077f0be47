// An MQTT client that sends records to one topic with QoS 1, counted until
// the broker acknowledges them, and keeps a retained status on another, with
// a last will there for when the process dies. The broker is reached on a
// thread of the MQTT library's own and reached again after it goes, so that
// no call here waits for it: a broker that is absent, slow or restarted
// never holds up the caller. Records not yet acknowledged stay queued and
// are sent again after a reconnect. Linux only (mqtt_client_mosquitto.cpp,
// on libmosquitto); the Windows build says so (mqtt_client_win.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace pyrrow::platform {

// The broker and who the client is to it.
struct MqttBroker {
    std::string text;  // as the user gave it, for messages
    bool tls = false;
    std::string host;
    int port = 0;
};

struct MqttLogin {
    std::string user;  // empty: none
    std::string password;
};

class MqttClient {
public:
    struct Setup {
        MqttBroker broker;
        MqttLogin login;
        std::string recordsTopic;
        std::string statusTopic;
        std::string will;  // the retained status should the connection die; empty: none
        // Told what happens to the connection (reached, lost, refused), as
        // a line for people without the broker's name; called from any thread.
        std::function<void(const std::string&)> notice;
        // Called from the client's thread each time the broker is reached.
        std::function<void()> connected;
    };

    // Starts the client; the broker need not be reachable yet. Null, with
    // the problem, when no client could be made (or not on this system).
    static std::unique_ptr<MqttClient> Start(Setup setup, std::string* problem);
    virtual ~MqttClient() = default;

    // Queues the record (a JSON line) for the records topic; never waits.
    virtual void Record(const std::string& line) = 0;
    // The status for the status topic, retained. Sent only when connected
    // (a newer one follows every change, and each reconnect calls
    // connected), except the last: final is kept until acknowledged.
    virtual void Status(const std::string& json, bool final) = 0;
    // Records queued and not yet acknowledged.
    virtual std::size_t Unacknowledged() const = 0;
    // Waits until fewer than most records are unacknowledged, or until no
    // acknowledgement came for idle, or a stop request; false unless the
    // first.
    virtual bool WaitBelow(std::size_t most, std::chrono::milliseconds idle, std::stop_token stop) = 0;
    // Waits for every acknowledgement as WaitBelow does, then disconnects;
    // the records left unacknowledged.
    virtual std::size_t Finish(std::chrono::milliseconds idle, std::stop_token stop) = 0;
};

}  // namespace pyrrow::platform
