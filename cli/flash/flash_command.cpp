// pyrrow-cli flash: settings, firmware and devices are checked before any
// unit is touched; then every unit is flashed in parallel.
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/flash/firmware_image.h"
#include "cli/flash/firmware_pin.h"
#include "cli/flash/flash_run.h"
#include "cli/flash/select.h"
#include "cli/flash/settings_source.h"
#include "cli/output/progress.h"
#include "cli/output/trace_log.h"
#include "cli/station/station.h"
#include "cli/station/station_status.h"
#include "platform/devices/hid.h"
#include "platform/net/host_name.h"
#include "platform/net/mqtt_client.h"
#include "platform/process/stop_requests.h"
#include "platform/process/terminal.h"
#include "platform/serial/serial.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"
#include "upload/usb_link.h"

namespace pyrrow::cli {
namespace {

OutputMode ModeOf(const FlashOptions& options)
{
    if (options.json)
        return OutputMode::Json;
    if (options.quiet)
        return OutputMode::Quiet;
    return platform::StandardErrorIsTerminal() ? OutputMode::Terminal : OutputMode::Plain;
}

std::vector<std::string> Labels(const std::vector<DeviceUri>& devices)
{
    std::vector<std::string> labels;
    for (const DeviceUri& device : devices)
        labels.push_back(device.text);
    return labels;
}

// How long the end of a station waits for the broker to acknowledge what
// it has not yet: from the last acknowledgement, so that a broker that is
// busy but answering gets the time it needs.
constexpr auto kAcknowledgementWait = std::chrono::seconds(3);
constexpr auto kAcknowledgementMoment = std::chrono::milliseconds(300);

}  // namespace

int RunFlash(const FlashOptions& given, const std::string& version, std::stop_source& stop,
             platform::StopRequests& requests)
{
    const auto start = std::chrono::steady_clock::now();
    if (requests.Failure())
        std::cerr << "pyrrow-cli: stop requests cannot be watched, Ctrl+C ends the run at once: "
                  << requests.Failure()->text << "\n";
    UnitLog log;
    // A stopped run that cannot end by itself is ended after this.
    const auto keepLog = requests.KeepSynced([&log] { log.Sync(); });

    FlashOptions options = given;
    const OutputMode mode = ModeOf(options);
    const auto fail = [&](int code, const char* kind, const std::string& message) {
        requests.SetExitCode(code);
        ProgressBoard board(mode, options.quiet, Labels(options.devices));
        board.SetTags(options.tags);
        board.RunFailure(code, kind, message);
        return code;
    };

    // Never to become the trace or the log: what this run reads, and where
    // its output goes.
    std::vector<platform::FileIdentity> inputs = platform::StandardOutputFiles();
    if (!options.settings.empty()) {
        const SettingsChoice settings = ReadSettingsFile(options.settings, stop.get_token());
        if (settings.stopped)
            return fail(kExitInterrupted, "cancelled", "--settings: " + settings.problem);
        if (!settings.readable)
            return fail(kExitSettings, "settings", "--settings: " + settings.problem);
        inputs.push_back(settings.identity);
        if (options.devices.empty()) {
            if (!settings.device)
                return fail(kExitSettings, "settings",
                            "--settings " + options.settings + " names no link: " + settings.deviceProblem +
                                "; give --device or choose the link in the window once");
            options.devices.push_back(*settings.device);
        }
        if (options.firmware.empty()) {
            if (settings.firmware.empty())
                return fail(kExitSettings, "settings",
                            "--settings " + options.settings + " names no firmware file (File/@path); give FILE");
            options.firmware = settings.firmware;
        }
        if (auto conflict = DeviceConflict(options))
            return fail(kExitUsage, "usage", *conflict);
    }

    const FirmwareLoad load = LoadFirmware(options.firmware, stop.get_token());
    if (load.stopped)
        return fail(kExitInterrupted, "cancelled", load.problem);
    if (!load.image)
        return fail(kExitFirmware, "firmware", load.problem + "; check the path and the file");
    const std::optional<FirmwareImage>& firmware = load.image;
    inputs.push_back(firmware->identity);
    // The bytes read are the bytes every unit gets: the file may change
    // on the disk meanwhile, the image does not.
    if (!options.sha256.empty()) {
        const PinnedDigest pinned = ReadPinnedDigest(options.sha256, options.firmware, stop.get_token());
        if (!pinned.problem.empty())
            return fail(kExitUsage, "usage", pinned.problem);
        if (const std::string problem = PinProblem(*firmware, pinned.sha256); !problem.empty())
            return fail(kExitDigest, "sha256", problem);
    }

    TraceLog trace;
    if (const std::string problem = options.trace.empty() ? "" : trace.Open(options.trace, inputs); !problem.empty())
        return fail(kExitUsage, "usage", problem);

    if (trace.IsOpen())
        inputs.push_back(trace.Identity());
    if (const std::string problem = options.log.empty() ? "" : log.Open(options.log, inputs); !problem.empty())
        return fail(kExitLog, "log", problem + "; give a new file, or a log of earlier runs, that can be written");

    const LinkOptions linkOptions{options.timeoutScale, options.paceAck, {}};
    if (options.wait || !options.log.empty()) {
        ProgressBoard board(mode, options.quiet, Labels(options.devices));
        board.SetTags(options.tags);
        // --publish: the client is ready before the first unit, the
        // status follows the board.
        const StationIdentity identity{platform::HostName(), version, options.tags};
        std::atomic<StationStatus*> status{nullptr};
        std::unique_ptr<platform::MqttClient> publisher;
        if (options.publish) {
            platform::MqttClient::Setup setup = StationClientSetup(*options.publish);
            setup.will = OfflineStatus(identity);
            if (const std::string problem = ReadMqttLogin(options.mqttLogin, setup.login, stop.get_token());
                !problem.empty())
                return fail(kExitUsage, "usage", problem);
            setup.notice = [&board, &options](const std::string& text) {
                board.Emit(board.Human(), "pyrrow-cli: --publish " + options.publish->text + ": " + text + "\n");
            };
            setup.connected = [&status] {
                if (StationStatus* feed = status.load())
                    feed->Changed();
            };
            std::string problem;
            publisher = platform::MqttClient::Start(std::move(setup), &problem);
            if (!publisher)
                return fail(kExitUsage, "usage", problem);
        }
        board.Start(*firmware, version);
        std::optional<StationStatus> feed;
        if (publisher) {
            feed.emplace(*publisher, board, identity, *firmware);
            status = &*feed;
            feed->Changed();  // once more: the broker may have been reached before status was set
            board.Watch([&status] {
                if (StationStatus* changed = status.load())
                    changed->Changed();
            });
        }
        StationOptions station;
        station.wait = options.wait;
        station.repeat = options.repeat;
        station.count = options.count;
        station.tags = options.tags;
        if (options.waitTimeout > 0)
            station.waitTimeout = std::chrono::milliseconds(static_cast<long long>(options.waitTimeout * 1000.0));
        const StationOutcome outcome = RunStation(options.devices, *firmware, board,
                                                  trace.IsOpen() ? &trace : nullptr, log.IsOpen() ? &log : nullptr,
                                                  publisher.get(), linkOptions, station, platform::SystemHid(),
                                                  stop.get_token());
        const int exitCode = StationExitCode(outcome, options.repeat, requests.Requested());
        std::optional<std::size_t> unacknowledged;
        if (publisher) {
            status = nullptr;
            feed->End();
            if (const std::size_t waiting = publisher->Unacknowledged(); waiting > 0)
                board.Emit(board.Human(), "pyrrow-cli: --publish " + options.publish->text + ": waiting for the " +
                                              "broker to acknowledge " + std::to_string(waiting) +
                                              (waiting == 1 ? " record\n" : " records\n"));
            // Asked to stop: a moment for what is on its way, not the whole wait.
            unacknowledged = publisher->Finish(requests.Requested() ? kAcknowledgementMoment : kAcknowledgementWait,
                                               {});
        }
        requests.SetExitCode(exitCode);
        board.Summary(exitCode, outcome.results,
                      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                          .count(),
                      trace.Failure(), outcome.endedWaiting, unacknowledged);
        return exitCode;
    }

    std::vector<platform::HidDeviceInfo> usbUnits;
    for (const DeviceUri& device : options.devices)
        if (device.link == DeviceUri::Link::Usb) {
            usbUnits = platform::SystemHid().Enumerate(protocol::kUsbVendorId, protocol::kUsbProductId);
            break;
        }
    std::vector<std::string> serialPorts;
    for (const DeviceUri& device : options.devices)
        if (device.link == DeviceUri::Link::Serial) {
            for (const std::u16string& port : platform::EnumerateSerialPorts())
                serialPorts.push_back(platform::SystemName(port));
            break;
        }
    std::vector<Selection> selections;
    std::vector<Target> targets;
    for (const DeviceUri& device : options.devices) {
        selections.push_back(Select(device, usbUnits, platform::SerialPortExists, serialPorts));
        if (selections.back().target)
            targets.push_back(*selections.back().target);
    }
    if (auto twice = SameUnitTwice(targets))
        return fail(kExitUsage, "usage", *twice);

    ProgressBoard board(mode, options.quiet, Labels(options.devices));
    board.SetTags(options.tags);
    board.Start(*firmware, version);
    const std::vector<UnitResult> results =
        FlashUnits(selections, *firmware, board, trace.IsOpen() ? &trace : nullptr, linkOptions, stop.get_token());

    std::vector<int> codes;
    for (const UnitResult& result : results)
        codes.push_back(result.exitCode);
    const int exitCode = CombineExitCodes(codes, requests.Requested());
    requests.SetExitCode(exitCode);
    board.Summary(exitCode, results,
                  std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                      .count(),
                  trace.Failure());
    return exitCode;
}

}  // namespace pyrrow::cli
