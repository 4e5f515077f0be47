// pyrrow-cli publish: the records of station logs sent to a broker
// afterwards, after an outage that outlasted the station, so that the
// broker has every record; consumers drop the ones they had by id.
#include <iostream>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/output/progress.h"
#include "cli/output/unit_log.h"
#include "platform/files/named_file.h"
#include "platform/net/mqtt_client.h"
#include "platform/process/stop_requests.h"

namespace pyrrow::cli {
namespace {

// Records queued and not yet acknowledged, at most: a year of records
// need not sit in memory at once.
constexpr std::size_t kMostInFlight = 1000;
// How long the broker may leave the queue without an acknowledgement
// before it counts as gone.
constexpr auto kIdle = std::chrono::seconds(10);

void Say(const std::string& text)
{
    std::cerr << Shown("pyrrow-cli: " + text + "\n") << std::flush;
}

struct LogReading {
    std::size_t records = 0;
    bool whole = true;    // every line read and a record
    bool stalled = false;  // the broker stopped acknowledging
};

// Sends each record of the log at path, in order, and names each line that
// is none.
LogReading PublishLog(const std::string& path, platform::MqttClient& publisher, std::stop_token stop)
{
    constexpr std::size_t kLongestLine = 1 << 20;
    LogReading reading;
    platform::NamedFile file;
    platform::SystemError error;
    if (!file.Open(path, platform::NamedFile::Access::Read, &error)) {
        Say("cannot open " + path + ": " + error.text);
        reading.whole = false;
        return reading;
    }
    std::string buffer(64 * 1024, '\0');
    std::string line;
    std::size_t number = 0;
    const auto take = [&]() {
        ++number;
        if (!IsRecordLine(line)) {
            Say(path + ": line " + std::to_string(number) + " is no record of a station; it is not sent");
            reading.whole = false;
        } else {
            publisher.Record(line);
            ++reading.records;
            reading.stalled = !publisher.WaitBelow(kMostInFlight, kIdle, stop) && !stop.stop_requested();
        }
        line.clear();
    };
    while (!stop.stop_requested() && !reading.stalled) {
        std::size_t n = 0;
        if (!file.Read(buffer.data(), buffer.size(), &n, &error)) {
            Say("cannot read " + path + ": " + error.text);
            reading.whole = false;
            return reading;
        }
        if (n == 0)
            break;
        for (std::string_view rest(buffer.data(), n); !rest.empty() && !reading.stalled && !stop.stop_requested();) {
            const std::size_t end = rest.find('\n');
            line.append(rest.substr(0, end));
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + 1);
            take();
        }
        if (line.size() > kLongestLine) {
            Say(path + ": line " + std::to_string(number + 1) + " is far longer than any record; the rest is not read");
            reading.whole = false;
            return reading;
        }
    }
    if (!line.empty() && !stop.stop_requested() && !reading.stalled)
        take();  // a last line without its end
    return reading;
}

}  // namespace

int RunPublish(const PublishOptions& options, std::stop_source& stop, const platform::StopRequests& requests)
{
    platform::MqttClient::Setup setup = StationClientSetup(options.to);
    setup.notice = [&options](const std::string& text) { Say(options.to.text + ": " + text); };
    if (const std::string problem = ReadMqttLogin(options.mqttLogin, setup.login, stop.get_token());
        !problem.empty()) {
        Say(problem);
        return kExitUsage;
    }
    std::string problem;
    const std::unique_ptr<platform::MqttClient> publisher = platform::MqttClient::Start(std::move(setup), &problem);
    if (!publisher) {
        Say(problem);
        return kExitUsage;
    }
    std::size_t records = 0;
    bool whole = true;
    bool stalled = false;
    for (const std::string& log : options.logs) {
        const LogReading reading = PublishLog(log, *publisher, stop.get_token());
        records += reading.records;
        whole = whole && reading.whole;
        stalled = reading.stalled;
        if (stalled || stop.stop_requested())
            break;
    }
    const std::size_t unacknowledged = publisher->Finish(kIdle, stop.get_token());
    Say(std::to_string(records - unacknowledged) + " of " + std::to_string(records) + " records acknowledged by " +
        options.to.text +
        (stalled ? "; the broker stopped acknowledging, so the rest was not sent: publish the logs again" : ""));
    if (requests.Requested())
        return kExitInterrupted;
    if (!whole)
        return kExitLog;
    return unacknowledged > 0 || stalled ? kExitTransfer : kExitOk;
}

}  // namespace pyrrow::cli
