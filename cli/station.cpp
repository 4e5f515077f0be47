#include "cli/station.h"

#include <mutex>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/select.h"
#include "cli/serial_aliases.h"
#include "cli/unit_wait.h"
#include "platform/serial.h"
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
    LinkOptions linkOptions;
    const StationOptions& options;
    platform::HidBackend& hid;
    std::stop_token stop;       // a signal: ends uploads too
    std::stop_source& between;  // a signal or a lost record: no further unit
    std::string host;

    std::mutex mutex;  // guards what follows
    std::vector<UnitResult> results;
    std::string logProblem;
};

// What the unit took of the file.
std::uint64_t BytesSent(const UnitResult& result, std::size_t size)
{
    if (result.ok)
        return size;
    if (result.offset)
        return *result.offset;
    if (result.kind == "header_no_answer" || result.kind == "header_rejected")
        return protocol::kHeaderSize;
    return 0;
}

UnitResult NoUnitCame(const DeviceUri& uri, std::chrono::milliseconds timeout)
{
    UnitResult result;
    result.exitCode = kExitNoDevice;
    result.kind = "no_device";
    result.message = uri.text + ": " + NoUnitWithin(timeout) +
                     "; check the cable and that the unit is waiting for firmware";
    return result;
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
void Record(Station& station, const DeviceUri& uri, const std::optional<Target>& target,
            const std::string& serialNumber, SystemClock::time_point start, const UnitResult& result)
{
    if (station.log == nullptr)
        return;
    UnitRecord record;
    record.start = start;
    record.end = SystemClock::now();
    record.host = station.host;
    record.fixture = uri.text;
    record.link = uri.link;
    if (target) {
        record.path = target->devicePath;
        if (uri.link == DeviceUri::Link::Serial)
            record.stableName = StableSerialName(target->devicePath);
    }
    record.serialNumber = serialNumber;
    record.firmware = &station.firmware;
    record.result = result;
    record.bytesSent = BytesSent(result, station.firmware.bytes.size());
    std::string problem;
    if (station.log->Append(RecordLine(record), &problem))
        return;
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
        const WaitLimit limit = WaitLimit::After(options.waitTimeout);
        SystemClock::time_point start = SystemClock::now();
        auto arrivedAt = Clock::now();
        bool arrived = !options.wait;
        std::optional<Target> target;
        std::string serialNumber;
        NodeHold node;  // where the unit came, to tell it from one that takes its place at once
        UnitResult result;

        if (uri.link == DeviceUri::Link::Usb) {
            if (options.wait) {
                station.board.Waiting(index, ProgressBoard::WaitFor::Arrival);
                const UsbArrival arrival = WaitForUsbUnit(uri, station.hid, limit, between);
                if (arrival.end == UsbArrival::End::Stopped && options.repeat)
                    return;
                if (arrival.end == UsbArrival::End::TimedOut && options.repeat && n > 0)
                    return;
                if (arrival.end == UsbArrival::End::Arrived) {
                    target = arrival.selection.target;
                    serialNumber = arrival.serialNumber;
                    arrived = true;
                    arrivedAt = Clock::now();
                    start = SystemClock::now();
                    node = NodeHold(target->devicePath);
                    station.board.Arrived(index, target->devicePath);
                } else if (arrival.end == UsbArrival::End::TimedOut) {
                    result = NoUnitCame(uri, limit.timeout);
                } else if (arrival.end == UsbArrival::End::Stopped) {
                    result.exitCode = kExitInterrupted;
                    result.kind = "cancelled";
                    result.message = uri.text + ": asked to stop while waiting for the unit";
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
            target = Target{uri, platform::SerialDevicePath(platform::Utf8ToUtf16Lossy(uri.serialPort))};
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
                                node = NodeHold(target->devicePath);
                            station.board.Arrived(index, target->devicePath);
                        });
                };
            result = FlashUnit(*target, station.firmware, station.board.Unit(index), station.trace,
                               station.linkOptions, station.stop, wrap);
            if (!arrived && options.repeat &&
                (result.kind == "cancelled" || (result.kind == "no_device" && limit.Passed() && n > 0)))
                return;  // stopped, or no further unit came: nothing to count
            if (options.wait && arrived)
                result.durationMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - arrivedAt).count();
        }

        Record(station, uri, arrived ? target : std::nullopt, serialNumber, start, result);
        station.board.Result(index, result);
        {
            const std::lock_guard lock(station.mutex);
            station.results.push_back(result);
        }
        const bool timedOut = options.wait && !arrived && result.kind == "no_device";
        if (!options.repeat || timedOut || (options.count != 0 && n + 1 == options.count) ||
            between.stop_requested())
            return;
        // The next unit only once this one is out of the fixture.
        Target leaving = target ? *target : Target{uri, {}};
        station.board.Waiting(index, ProgressBoard::WaitFor::Departure);
        if (!WaitForDeparture(leaving, node, serialNumber, station.hid, between))
            return;
        station.board.Left(index);
    }
}

}  // namespace

StationOutcome RunStation(const std::vector<DeviceUri>& fixtures, const FirmwareImage& firmware,
                          ProgressBoard& board, TraceLog* trace, UnitLog* log, const LinkOptions& linkOptions,
                          const StationOptions& options, platform::HidBackend& hid, std::stop_token stop)
{
    std::stop_source between;
    const std::stop_callback forward(stop, [&between] { between.request_stop(); });
    Station station{firmware, board, trace, log, linkOptions, options, hid, stop, between, HostName(), {}, {}, {}};
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
    return StationOutcome{std::move(station.results), std::move(station.logProblem)};
}

int StationExitCode(const StationOutcome& outcome, bool repeat, bool interrupted)
{
    if (!outcome.logProblem.empty())
        return kExitLog;
    std::vector<int> codes;
    for (const UnitResult& result : outcome.results)
        codes.push_back(result.exitCode);
    if (!repeat || interrupted)
        return CombineExitCodes(codes, interrupted);
    bool allFlashed = true;
    bool noneCame = !codes.empty();
    for (const UnitResult& result : outcome.results) {
        allFlashed = allFlashed && result.ok;
        noneCame = noneCame && result.kind == "no_device";
    }
    if (allFlashed)
        return kExitOk;
    return noneCame ? kExitNoDevice : kExitMixed;
}

}  // namespace pyrrow::cli
