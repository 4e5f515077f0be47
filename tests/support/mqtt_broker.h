// A mosquitto broker on 127.0.0.1 that a test starts, stops and starts
// again on the same port, and a mosquitto_sub client that collects what
// arrives under a prefix. Both are the real programs (Debian mosquitto and
// mosquitto-clients), run as child processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace pyrrow::test {

class MqttBroker {
public:
    // Listens on port (0: a free one). persistent: sessions and queued
    // messages outlive a Stop, as a broker that keeps them on disk does.
    MqttBroker(const std::filesystem::path& dir, std::uint16_t port = 0, bool persistent = false);
    std::uint16_t Port() const { return m_port; }
    std::string Url(const std::string& prefix) const;
    void Start();
    // Stops it (SIGTERM) and waits until it has ended.
    void Stop();

private:
    std::filesystem::path m_config;
    std::uint16_t m_port;
    std::optional<SimProcess> m_process;
};

struct MqttMessage {
    std::string topic;
    std::string payload;
};

class MqttSubscriber {
public:
    // Subscribes to PREFIX/# with QoS 1 and returns once it is subscribed.
    // session: a client id whose session the broker keeps while it is away.
    MqttSubscriber(const MqttBroker& broker, const std::string& prefix, const std::string& session = {});
    // What has arrived once done says it is all, or when timeout ends.
    const std::vector<MqttMessage>& WaitFor(const std::function<bool(const std::vector<MqttMessage>&)>& done,
                                            std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    SimProcess m_process;
    std::vector<MqttMessage> m_messages;
};

}  // namespace pyrrow::test
