// --publish and publish --to: the MQTT broker a station's records and
// status go to (mqtt://HOST[:PORT]/PREFIX, mqtts:// over TLS), and the
// user and password it is reached with, which never stand on the command
// line (a process list shows it to everyone).
#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "platform/net/mqtt_client.h"

namespace pyrrow::cli {

// The broker, and the prefix of the station's topics.
struct MqttTarget : platform::MqttBroker {
    std::string prefix;  // the topics are PREFIX/records and PREFIX/status
    std::string Topic(const char* leaf) const { return prefix + "/" + leaf; }
};

struct ParsedMqttTarget {
    std::optional<MqttTarget> target;
    std::string problem;
};

ParsedMqttTarget ParseMqttTarget(const std::string& text);

using MqttLogin = platform::MqttLogin;

// The login from file (first line the user, second the password) when a
// file is named, else from PYRROW_MQTT_USER and PYRROW_MQTT_PASSWORD. The
// problem, or "".
std::string ReadMqttLogin(const std::string& file, MqttLogin& login, std::stop_token stop);

// The client's setup for target: the broker, and the station's records and
// status topics under its prefix.
platform::MqttClient::Setup StationClientSetup(const MqttTarget& target);

}  // namespace pyrrow::cli
