#include "support/mqtt_broker.h"

#include <signal.h>

#include <stdexcept>

#include "support/tcp_device.h"
#include "support/temp_dir.h"

namespace pyrrow::test {
namespace {

// The broker is in /usr/sbin, which a user's PATH may lack.
std::string BrokerProgram()
{
    return std::filesystem::exists("/usr/sbin/mosquitto") ? "/usr/sbin/mosquitto" : "mosquitto";
}

}  // namespace

MqttBroker::MqttBroker(const std::filesystem::path& dir, std::uint16_t port, bool persistent)
    : m_config(dir / "mosquitto.conf"), m_port(port != 0 ? port : UnusedLoopbackPort())
{
    std::filesystem::create_directories(dir);
    std::string config = "listener " + std::to_string(m_port) + " 127.0.0.1\nallow_anonymous true\n";
    // As root the broker would change to its own user, which may not write here.
    config += "user root\n";
    config += persistent ? "persistence true\npersistence_location " + dir.string() + "/\n" : "persistence false\n";
    WriteBytes(m_config, config);
    Start();
}

std::string MqttBroker::Url(const std::string& prefix) const
{
    return "mqtt://127.0.0.1:" + std::to_string(m_port) + "/" + prefix;
}

void MqttBroker::Start()
{
    m_process.emplace(std::vector<std::string>{"-c", m_config.string()}, false, -1, -1, BrokerProgram());
    // It says on standard error when it listens.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_process->Errors().find(" running") == std::string::npos)
        if (m_process->ReadLine(std::chrono::milliseconds(50)).empty() && std::chrono::steady_clock::now() > end)
            throw std::runtime_error("mosquitto did not start: " + m_process->Errors());
}

void MqttBroker::Stop()
{
    m_process->Signal(SIGTERM);
    m_process->Wait();
    m_process.reset();
}

MqttSubscriber::MqttSubscriber(const MqttBroker& broker, const std::string& prefix, const std::string& session)
    : m_process(
          [&] {
              std::vector<std::string> args{"-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-q", "1",
                                            "-v",  "-t", prefix + "/#"};
              if (!session.empty())
                  args.insert(args.end(), {"-c", "-i", session});
              return args;
          }(),
          false, -1, -1, "mosquitto_sub")
{
    // A retained message tells when the subscription stands.
    SimProcess probe({"-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-q", "1", "-r", "-t",
                      prefix + "/probe", "-m", "here"},
                     false, -1, -1, "mosquitto_pub");
    if (probe.Wait() != 0)
        throw std::runtime_error("mosquitto_pub failed: " + probe.Errors());
    WaitFor([&prefix](const std::vector<MqttMessage>& got) {
        return !got.empty() && got.back().topic == prefix + "/probe";
    });
    m_messages.clear();
}

const std::vector<MqttMessage>& MqttSubscriber::WaitFor(
    const std::function<bool(const std::vector<MqttMessage>&)>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done(m_messages)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const std::string line = m_process.ReadLine(left);
        if (line.empty())
            continue;
        const std::size_t space = line.find(' ');
        m_messages.push_back({line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)});
    }
    return m_messages;
}

}  // namespace pyrrow::test
