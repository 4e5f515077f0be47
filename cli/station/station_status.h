// --publish: the station's status for the line's dashboards (host,
// version, tags, the image, what each fixture is doing, the counts), sent
// retained on every change but at most four times a second, from a thread
// of its own so that no fixture waits for it; and the last will a broker
// sends when the station dies.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "cli/flash/firmware_image.h"
#include "cli/output/progress.h"
#include "cli/output/record_tags.h"
#include "platform/net/mqtt_client.h"

namespace pyrrow::cli {

struct StationIdentity {
    std::string host;
    std::string version;
    Tags tags;
};

// The status a broker keeps for a station that died (its last will).
std::string OfflineStatus(const StationIdentity& station);

class StationStatus {
public:
    // Sends the first status at once; the board must outlive this.
    StationStatus(platform::MqttClient& publisher, const ProgressBoard& board, StationIdentity station,
                  const FirmwareImage& firmware);
    ~StationStatus();
    StationStatus(const StationStatus&) = delete;
    StationStatus& operator=(const StationStatus&) = delete;

    // Something changed; returns at once.
    void Changed();
    // The station has ended: the last status ("stopped"), kept until the
    // broker has it (as far as the publisher's Finish waits).
    void End();

private:
    std::string Text(const char* state) const;
    void Run(std::stop_token stop);

    platform::MqttClient& m_publisher;
    const ProgressBoard& m_board;
    StationIdentity m_station;
    const FirmwareImage& m_firmware;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    bool m_dirty = true;  // guarded by m_mutex
    std::jthread m_thread;
};

}  // namespace pyrrow::cli
