#include "cli/station/station_status.h"

#include <chrono>

#include <nlohmann/json.hpp>

#include "cli/output/json_text.h"
#include "cli/output/unit_log.h"
#include "console/text.h"

namespace pyrrow::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr auto kLeastInterval = std::chrono::milliseconds(250);

Json Identity(const StationIdentity& station, const char* state)
{
    Json status;
    status["v"] = 1;
    status["state"] = state;
    status["host"] = station.host;
    status["version"] = station.version;
    status["tags"] = TagsJson(station.tags);
    return status;
}

const char* DoingName(ProgressBoard::FixtureState::Doing doing)
{
    switch (doing) {
    case ProgressBoard::FixtureState::Doing::Waiting: return "waiting";
    case ProgressBoard::FixtureState::Doing::Flashing: return "flashing";
    case ProgressBoard::FixtureState::Doing::Leaving: return "leaving";
    case ProgressBoard::FixtureState::Doing::Done: break;
    }
    return "done";
}

}  // namespace

std::string OfflineStatus(const StationIdentity& station)
{
    return JsonLine(Identity(station, "offline"));
}

StationStatus::StationStatus(platform::MqttClient& publisher, const ProgressBoard& board, StationIdentity station,
                             const FirmwareImage& firmware)
    : m_publisher(publisher),
      m_board(board),
      m_station(std::move(station)),
      m_firmware(firmware),
      m_thread([this](std::stop_token stop) { Run(stop); })
{
}

StationStatus::~StationStatus() = default;

void StationStatus::Changed()
{
    {
        const std::lock_guard lock(m_mutex);
        m_dirty = true;
    }
    m_wake.notify_one();
}

void StationStatus::End()
{
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
    m_publisher.Status(Text("stopped"), true);
}

std::string StationStatus::Text(const char* state) const
{
    Json status = Identity(m_station, state);
    status["time"] = console::UtcText(std::chrono::system_clock::now());
    status["firmware"] = {{"path", m_firmware.path}, {"size", m_firmware.bytes.size()},
                          {"sha256", m_firmware.sha256}};
    unsigned ok = 0;
    unsigned failed = 0;
    Json fixtures = Json::array();
    for (const ProgressBoard::FixtureState& fixture : m_board.Fixtures()) {
        Json each;
        each["fixture"] = fixture.fixture;
        each["state"] = DoingName(fixture.doing);
        each["percent"] = fixture.doing == ProgressBoard::FixtureState::Doing::Flashing
                              ? Json(fixture.percent)
                              : Json();
        each["units"] = fixture.ok + fixture.failed;
        each["ok"] = fixture.ok;
        each["failed"] = fixture.failed;
        fixtures.push_back(each);
        ok += fixture.ok;
        failed += fixture.failed;
    }
    status["units"] = ok + failed;
    status["ok"] = ok;
    status["failed"] = failed;
    status["fixtures"] = fixtures;
    return JsonLine(status);
}

void StationStatus::Run(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_wake.wait(lock, stop, [this] { return m_dirty; }))
            return;
        m_dirty = false;
        lock.unlock();
        m_publisher.Status(Text("online"), false);
        lock.lock();
        // The next change waits its turn: at most four a second.
        m_wake.wait_for(lock, stop, kLeastInterval, [] { return false; });
    }
}

}  // namespace pyrrow::cli
