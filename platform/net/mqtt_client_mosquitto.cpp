// The MQTT client on libmosquitto: its own network thread
// (mosquitto_loop_start) connects, reconnects with a growing pause and
// resends the QoS 1 messages it still holds; callers only queue.
#include "platform/net/mqtt_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>
#include <utility>

#include "platform/system_error.h"

namespace pyrrow::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 15;
// The library reconnects by itself once it has connected or begun to, after
// 1 s, 2 s, 3 s, then every 4 s; a first attempt that fails at once (the
// broker refused it, the name is not known yet) is tried again this often.
constexpr auto kFirstConnectRetry = std::chrono::seconds(2);

// The library's words for a result, or the system's when it says errno
// (read right after the call, passed in).
std::string ResultText(int result, int systemCode)
{
    if (result == MOSQ_ERR_ERRNO)
        return SystemErrorWords(systemCode);
    return mosquitto_strerror(result);
}

class MosquittoClient final : public MqttClient {
public:
    explicit MosquittoClient(Setup setup) : m_setup(std::move(setup)) { mosquitto_lib_init(); }

    ~MosquittoClient() override
    {
        Stop();
        if (m_client != nullptr)
            mosquitto_destroy(m_client);
        mosquitto_lib_cleanup();
    }

    std::string Begin()
    {
        m_client = mosquitto_new(nullptr, true, this);
        if (m_client == nullptr)
            return "no MQTT client could be made: " + SystemErrorWords(errno);
        mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        const MqttBroker& broker = m_setup.broker;
        int result = MOSQ_ERR_SUCCESS;
        if (broker.tls)
            result = mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (result == MOSQ_ERR_SUCCESS && !m_setup.login.user.empty())
            result = mosquitto_username_pw_set(m_client, m_setup.login.user.c_str(),
                                               m_setup.login.password.empty() ? nullptr
                                                                              : m_setup.login.password.c_str());
        const std::string& status = m_setup.statusTopic;
        if (result == MOSQ_ERR_SUCCESS && !m_setup.will.empty())
            result = mosquitto_will_set(m_client, status.c_str(), static_cast<int>(m_setup.will.size()),
                                        m_setup.will.data(), 1, true);
        if (result == MOSQ_ERR_SUCCESS)
            result = mosquitto_reconnect_delay_set(m_client, 1, 4, false);
        if (result != MOSQ_ERR_SUCCESS)
            return "the MQTT client could not be set up: " + ResultText(result, errno);
        mosquitto_connect_callback_set(m_client, &OnConnect);
        mosquitto_disconnect_callback_set(m_client, &OnDisconnect);
        mosquitto_publish_callback_set(m_client, &OnPublish);
        mosquitto_log_callback_set(m_client, &OnLog);

        result = mosquitto_connect_async(m_client, broker.host.c_str(), broker.port, kKeepAliveSeconds);
        const int systemCode = errno;
        if (result == MOSQ_ERR_INVAL || result == MOSQ_ERR_NOMEM || result == MOSQ_ERR_NOT_SUPPORTED)
            return "cannot connect to " + broker.text + ": " + ResultText(result, systemCode);
        if (result != MOSQ_ERR_SUCCESS) {
            Notice("cannot reach the broker at " + broker.host + ":" + std::to_string(broker.port) + " (" +
                   ResultText(result, systemCode) + "); the records are kept and sent once it is reached");
            m_retry = std::jthread([this](std::stop_token stop) { RetryFirstConnect(stop); });
        }
        result = mosquitto_loop_start(m_client);
        if (result != MOSQ_ERR_SUCCESS)
            return "the MQTT client's thread could not be started: " + ResultText(result, errno);
        m_looping = true;
        return {};
    }

    void Record(const std::string& line) override
    {
        const std::string& topic = m_setup.recordsTopic;
        int mid = 0;
        const int result =
            mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(line.size()), line.data(), 1, false);
        const int systemCode = errno;
        // Not connected: the message waits in the client's queue.
        if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN) {
            Queued(mid, true);
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            ++m_lost;
        }
        Notice("a record could not be queued: " + ResultText(result, systemCode));
    }

    void Status(const std::string& json, bool final) override
    {
        const std::string& topic = m_setup.statusTopic;
        int mid = 0;
        const int result = mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(json.size()),
                                             json.data(), final ? 1 : 0, true);
        if (final && (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN))
            Queued(mid, false);
    }

    std::size_t Unacknowledged() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_records + m_lost;
    }

    bool WaitBelow(std::size_t most, std::chrono::milliseconds idle, std::stop_token stop) override
    {
        return WaitUntil([&] { return m_records < most; }, idle, stop);
    }

    std::size_t Finish(std::chrono::milliseconds idle, std::stop_token stop) override
    {
        WaitUntil([&] { return m_pending.empty(); }, idle, stop);
        Stop();
        return Unacknowledged();
    }

private:
    static void OnConnect(mosquitto*, void* self, int result)
    {
        static_cast<MosquittoClient*>(self)->Connected(result);
    }
    static void OnDisconnect(mosquitto*, void* self, int result)
    {
        static_cast<MosquittoClient*>(self)->Disconnected(result);
    }
    static void OnPublish(mosquitto*, void* self, int mid) { static_cast<MosquittoClient*>(self)->Acknowledged(mid); }
    static void OnLog(mosquitto*, void* self, int level, const char* text)
    {
        // Errors only (a certificate the system does not trust, for one).
        if ((level & MOSQ_LOG_ERR) != 0)
            static_cast<MosquittoClient*>(self)->Notice(text);
    }

    void Connected(int result)
    {
        if (result != 0) {
            Notice("the broker refused the connection: " + std::string(mosquitto_connack_string(result)) +
                   (result == 4 || result == 5 ? " (check PYRROW_MQTT_USER and PYRROW_MQTT_PASSWORD, or --mqtt-login)"
                                               : ""));
            return;
        }
        std::size_t waiting = 0;
        {
            const std::lock_guard lock(m_mutex);
            waiting = m_records;
            m_connected = true;
        }
        Notice("connected to the broker" +
               (waiting == 0 ? std::string()
                             : "; " + std::to_string(waiting) + (waiting == 1 ? " record goes" : " records go") +
                                   " now that waited for it"));
        if (m_setup.connected)
            m_setup.connected();
    }

    void Disconnected(int result)
    {
        bool was = false;
        {
            const std::lock_guard lock(m_mutex);
            was = std::exchange(m_connected, false);
        }
        // 0: asked for here; a connection never made was said at the attempt.
        if (was && result != MOSQ_ERR_SUCCESS)
            Notice("lost the broker (" + std::string(mosquitto_strerror(result)) +
                   "); the records are kept and sent again once it is reached");
    }

    void Acknowledged(int mid)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_lastAck = Clock::now();
            const auto it = m_pending.find(mid);
            if (it == m_pending.end()) {
                m_early.insert(mid);  // before Queued had its id
            } else {
                m_records -= it->second ? 1u : 0u;
                m_pending.erase(it);
            }
        }
        m_changed.notify_all();
    }

    void Queued(int mid, bool record)
    {
        const std::lock_guard lock(m_mutex);
        if (m_early.erase(mid) > 0)
            return;
        m_pending[mid] = record;
        m_records += record ? 1u : 0u;
    }

    template <typename Done>
    bool WaitUntil(Done done, std::chrono::milliseconds idle, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        const auto since = Clock::now();
        while (!done()) {
            const auto end = std::max(since, m_lastAck) + idle;
            if (Clock::now() >= end || stop.stop_requested())
                return false;
            // Woken by what is done, or by an acknowledgement that moves the end.
            const Clock::time_point lastAck = m_lastAck;
            m_changed.wait_until(lock, stop, end, [&] { return done() || m_lastAck != lastAck; });
        }
        return true;
    }

    void RetryFirstConnect(std::stop_token stop)
    {
        std::mutex mutex;
        std::condition_variable_any pause;
        std::unique_lock lock(mutex);
        while (!pause.wait_for(lock, stop, kFirstConnectRetry, [] { return false; }))
            if (mosquitto_reconnect_async(m_client) == MOSQ_ERR_SUCCESS)
                return;
    }

    void Stop()
    {
        if (m_retry.joinable()) {
            m_retry.request_stop();
            m_retry.join();
        }
        if (m_looping) {
            mosquitto_disconnect(m_client);
            mosquitto_loop_stop(m_client, false);
            m_looping = false;
        }
    }

    void Notice(const std::string& text) const
    {
        if (m_setup.notice)
            m_setup.notice(text);
    }

    Setup m_setup;
    mosquitto* m_client = nullptr;
    bool m_looping = false;
    std::jthread m_retry;

    mutable std::mutex m_mutex;  // guards what follows
    std::condition_variable_any m_changed;
    std::map<int, bool> m_pending;  // message id: whether a record
    std::set<int> m_early;          // acknowledged before it was queued here
    std::size_t m_records = 0;      // records in m_pending
    std::size_t m_lost = 0;         // records the client would not queue
    bool m_connected = false;
    Clock::time_point m_lastAck{};
};

}  // namespace

std::unique_ptr<MqttClient> MqttClient::Start(Setup setup, std::string* problem)
{
    auto client = std::make_unique<MosquittoClient>(std::move(setup));
    if (std::string failed = client->Begin(); !failed.empty()) {
        *problem = std::move(failed);
        return nullptr;
    }
    return client;
}

}  // namespace pyrrow::platform
