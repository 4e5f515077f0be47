#include "cli/station/station.h"

#include <mutex>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/flash/select.h"
#include "cli/station/unit_wait.h"
#include "platform/net/host_name.h"
#include "platform/serial/serial.h"
#include "platform/serial/serial_aliases.h"
#include "platform/utf.h"
#include "upload/protocol.h"

namespace pyrrow::cli {
namespace {

using Clock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

// What the fixtures' threads share.
struct Station {
    const FirmwareImage& firmware;
    ProgressBoard& board;
    TraceLog* trace;
    UnitLog* log;
    platform::MqttClient* publisher;
    LinkOptions linkOptions;
    const StationOptions& options;
    platform::HidBackend& hid;
    std::stop_token stop;       // a signal: ends uploads too
    std::stop_source& between;  // a signal or a lost record: no further unit
    std::string host;

    std::mutex mutex;  // guards what follows
    std::vector<UnitResult> results;
    std::string logProblem;
    unsigned endedWaiting = 0;
};

// The wait for a unit ran out: no unit came, so there is nothing to record
// or count as a unit; the fixture ends, and the summary says so.
void NoUnitCame(Station& station, const DeviceUri& uri, std::chrono::milliseconds timeout, unsigned unitsBefore)
{
    {
        const std::lock_guard lock(station.mutex);
        ++station.endedWaiting;
    }
    station.board.Emit(station.board.Human(),
                       "pyrrow-cli: " + uri.text + ": " + NoUnitWithin(timeout) +
                           (unitsBefore == 0 ? "; check the cable and that the unit is waiting for firmware\n"
                                             : "; the fixture ends after " + std::to_string(unitsBefore) +
                                                   (unitsBefore == 1 ? " unit\n" : " units\n")));
}

// What the fixture waits for when its unit stays after its upload: unit
// (its number on the fixture) must be taken out.
std::string StillThere(const DeviceUri& uri, unsigned unit, const std::string& problem)
{
    const std::string which = uri.text + ": unit " + std::to_string(unit);
    if (!problem.empty())
        return which + ": whether it was taken out cannot be told (" + problem + "); the fixture waits on";
    switch (uri.link) {
    case DeviceUri::Link::Tcp: return which + " still accepts connections; take it out";
    case DeviceUri::Link::Serial: return which + " is still there (its port has not gone); take it out";
    case DeviceUri::Link::Usb: return which + " is still attached; take it out";
    }
    return which + " is still there; take it out";
}

UnitResult FromSelection(const Selection& selection)
{
    UnitResult result;
    result.exitCode = selection.exitCode;
    result.kind = selection.kind;
    result.message = selection.message;
    return result;
}

// Keeps the record; a record that is not kept stops the station.
void Record(Station& station, const DeviceUri& uri, unsigned number, const std::optional<Target>& target,
            const std::string& serialNumber, SystemClock::time_point start, const UnitResult& result)
{
    if (station.log == nullptr)
        return;
    UnitRecord record;
    record.start = start;
    record.end = SystemClock::now();
    record.host = station.host;
    record.fixture = uri.text;
    record.number = number;
    record.tags = &station.options.tags;
    record.link = uri.link;
    if (target) {
        record.path = target->devicePath;
        if (uri.link == DeviceUri::Link::Serial)
            record.stableName = platform::StableSerialName(target->devicePath);
    }
    record.serialNumber = serialNumber;
    record.firmware = &station.firmware;
    record.result = result;
    UnitLog::Appended appended;
    try {
        record.id = NewRecordId();
    } catch (const std::exception& e) {
        appended.problem = std::string("--log: the system gives no random number for the record's id: ") + e.what();
    }
    const std::string line = RecordLine(record);
    if (appended.problem.empty())
        appended = station.log->Append(line);
    if (!appended.notice.empty())
        station.board.Emit(station.board.Human(), "pyrrow-cli: " + appended.notice + "\n");
    const std::string& problem = appended.problem;
    if (problem.empty()) {
        // The log has it: only now may the line's systems hear of it.
        if (station.publisher != nullptr)
            station.publisher->Record(line);
        return;
    }
    {
        const std::lock_guard lock(station.mutex);
        if (!station.logProblem.empty())
            return;
        station.logProblem = problem;
    }
    station.between.request_stop();
    station.board.Emit(station.board.Human(), "pyrrow-cli: " + problem + "; the record of " + uri.text +
                                                  "'s last unit is not kept, so the station stops (" +
                                                  "free space or give another --log, then start it again)\n");
}

void RunFixture(Station& station, std::size_t index, const DeviceUri& uri)
{
    const StationOptions& options = station.options;
    const std::stop_token between = station.between.get_token();
    for (unsigned n = 0; options.count == 0 || n < options.count; ++n) {
        if (between.stop_requested())
            return;
        station.board.Numbered(index, n + 1);
        const WaitLimit limit = WaitLimit::After(options.waitTimeout);
        SystemClock::time_point start = SystemClock::now();
        auto arrivedAt = Clock::now();
        bool arrived = !options.wait;
        std::optional<Target> target;
        std::string serialNumber;
        platform::NodeHold node;  // where the unit came, to tell it from one that takes its place at once
        UnitResult result;

        if (uri.link == DeviceUri::Link::Usb) {
            if (options.wait) {
                station.board.Waiting(index, ProgressBoard::WaitFor::Arrival);
                const UsbArrival arrival = WaitForUsbUnit(uri, station.hid, limit, between);
                if (arrival.end == UsbArrival::End::Stopped)
                    return;
                if (arrival.end == UsbArrival::End::TimedOut)
                    return NoUnitCame(station, uri, limit.timeout, n);
                if (arrival.end == UsbArrival::End::Arrived) {
                    target = arrival.selection.target;
                    serialNumber = arrival.serialNumber;
                    arrived = true;
                    arrivedAt = Clock::now();
                    start = SystemClock::now();
                    node = platform::NodeHold(target->devicePath);
                    station.board.Arrived(index, target->devicePath);
                } else {
                    result = FromSelection(arrival.selection);
                }
            } else {
                const auto units = station.hid.Enumerate(protocol::kUsbVendorId, protocol::kUsbProductId);
                const Selection selection = Select(uri, units, platform::SerialPortExists);
                target = selection.target;
                if (!target)
                    result = FromSelection(selection);
                for (const auto& unit : units)
                    if (target && unit.path == target->devicePath)
                        serialNumber = platform::Utf16ToUtf8Lossy(unit.serialNumber);
            }
        } else if (uri.link == DeviceUri::Link::Serial && options.wait) {
            // The open itself waits for the path.
            target = Target{uri, platform::SerialDevicePath(uri.serialPort)};
        } else {
            const Selection selection = Select(uri, {}, platform::SerialPortExists);
            target = selection.target;
            if (!target)
                result = FromSelection(selection);
        }

        if (target) {
            LinkWrapper wrap;
            if (options.wait && uri.link != DeviceUri::Link::Usb)
                wrap = [&](std::unique_ptr<upload::Link> link) -> std::unique_ptr<upload::Link> {
                    return std::make_unique<ArrivalLink>(
                        std::move(link), uri.link == DeviceUri::Link::Serial, limit, between,
                        [&] { station.board.Waiting(index, ProgressBoard::WaitFor::Arrival); },
                        [&] {
                            arrived = true;
                            arrivedAt = Clock::now();
                            start = SystemClock::now();
                            if (uri.link == DeviceUri::Link::Serial)
                                node = platform::NodeHold(target->devicePath);
                            station.board.Arrived(index, target->devicePath);
                        });
                };
            result = FlashUnit(*target, station.firmware, station.board.Unit(index), station.trace,
                               station.linkOptions, station.stop, wrap);
            // Stopped, or no unit came: nothing to record or count.
            if (!arrived && options.wait && result.kind == "cancelled")
                return;
            if (!arrived && options.wait && result.kind == "no_device" && limit.Passed())
                return NoUnitCame(station, uri, limit.timeout, n);
            if (options.wait && arrived)
                result.durationMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - arrivedAt).count();
        }

        // A record is a unit that came: none is made for a unit not found.
        if (result.kind != "no_device")
            Record(station, uri, n + 1, arrived ? target : std::nullopt, serialNumber, start, result);
        station.board.Result(index, result);
        {
            const std::lock_guard lock(station.mutex);
            station.results.push_back(result);
        }
        if (!options.repeat || (options.count != 0 && n + 1 == options.count) ||
            between.stop_requested())
            return;
        // The next unit only once this one is out of the fixture.
        Target leaving = target ? *target : Target{uri, {}};
        station.board.Waiting(index, ProgressBoard::WaitFor::Departure);
        const auto stillThere = [&](const std::string& problem) {
            station.board.Emit(station.board.Human(), "pyrrow-cli: " + StillThere(uri, n + 1, problem) + "\n");
        };
        if (!WaitForDeparture(leaving, node, serialNumber, station.hid, between, stillThere))
            return;
        station.board.Left(index);
    }
}

}  // namespace

StationOutcome RunStation(const std::vector<DeviceUri>& fixtures, const FirmwareImage& firmware,
                          ProgressBoard& board, TraceLog* trace, UnitLog* log, platform::MqttClient* publisher,
                          const LinkOptions& linkOptions, const StationOptions& options, platform::HidBackend& hid,
                          std::stop_token stop)
{
    std::stop_source between;
    const std::stop_callback forward(stop, [&between] { between.request_stop(); });
    Station station{firmware, board, trace,   log,        publisher, linkOptions, options,
                    hid,      stop,  between, platform::HostName(), {},        {},          {}};
    if (options.wait)
        station.linkOptions.connectTimeout = kWaitConnectTimeout;

    std::vector<std::thread> fixturesRunning;
    for (std::size_t i = 0; i < fixtures.size(); ++i) {
        try {
            fixturesRunning.emplace_back([&station, &fixtures, i] { RunFixture(station, i, fixtures[i]); });
        } catch (const std::system_error& e) {
            UnitResult result;
            result.exitCode = kExitTransfer;
            result.kind = "no_worker";
            result.message = fixtures[i].text + ": no worker thread could be started: " + e.what();
            result.cause = e.what();
            board.Result(i, result);
            const std::lock_guard lock(station.mutex);
            station.results.push_back(result);
        }
    }
    for (std::thread& fixture : fixturesRunning)
        fixture.join();
    return StationOutcome{std::move(station.results), std::move(station.logProblem), station.endedWaiting};
}

int StationExitCode(const StationOutcome& outcome, bool repeat, bool interrupted)
{
    if (!outcome.logProblem.empty())
        return kExitLog;
    std::vector<int> codes;
    for (const UnitResult& result : outcome.results)
        codes.push_back(result.exitCode);
    // Without --repeat each --device stands for one unit: one that never
    // came is not flashed.
    if (!repeat || interrupted) {
        codes.insert(codes.end(), outcome.endedWaiting, kExitNoDevice);
        return CombineExitCodes(codes, interrupted);
    }
    if (outcome.results.empty() && outcome.endedWaiting > 0)
        return kExitNoDevice;
    bool allFlashed = true;
    for (const UnitResult& result : outcome.results)
        allFlashed = allFlashed && result.ok;
    return allFlashed ? kExitOk : kExitMixed;
}

}  // namespace pyrrow::cli
