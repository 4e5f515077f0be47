#include "cli/flash/flash_run.h"

#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/output/failure_text.h"
#include "cli/station/stoppable_pause.h"
#include "platform/devices/hid.h"
#include "platform/utf.h"
#include "upload/serial_link.h"
#include "upload/tcp_link.h"
#include "upload/usb_link.h"

namespace pyrrow::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The link of one unit with the handle it keeps while open.
struct UnitLink {
    platform::SerialHandle serial = nullptr;
    upload::TcpLink::Connection socket;
    std::unique_ptr<upload::Link> link;
};

void MakeLink(const Target& target, const LinkOptions& options, UnitLink& unit)
{
    switch (target.uri.link) {
    case DeviceUri::Link::Serial:
        // The device selection found, as the bytes of its name.
        unit.link = std::make_unique<upload::SerialLink>(target.devicePath,
                                                         unit.serial,
                                                         upload::SerialTiming{}.Scaled(options.timeoutScale));
        return;
    case DeviceUri::Link::Tcp: {
        upload::TcpTiming timing;
        timing.paceOnAcknowledgement = options.paceAck;
        if (options.connectTimeout)
            timing.connectTimeout = *options.connectTimeout;
        unit.link = std::make_unique<upload::TcpLink>(target.uri.address, target.uri.port, unit.socket,
                                                      timing.Scaled(options.timeoutScale));
        return;
    }
    case DeviceUri::Link::Usb: {
        upload::UsbTiming timing = upload::UsbTiming{}.Scaled(options.timeoutScale);
        // A unit pulled during the header's wait is told at once, as in
        // the data phase.
        timing.readErrorEndsWait = true;
        unit.link = std::make_unique<upload::UsbLink>(options.hid != nullptr ? *options.hid : platform::SystemHid(),
                                                      target.devicePath, timing);
        return;
    }
    }
}

}  // namespace

UnitResult FlashUnit(const Target& target, const FirmwareImage& firmware, upload::UploadObserver& observer,
                     TraceLog* trace, const LinkOptions& options, std::stop_token stop, const LinkWrapper& wrap)
{
    const auto start = Clock::now();
    UnitLink unit;
    MakeLink(target, options, unit);
    if (wrap)
        unit.link = wrap(std::move(unit.link));
    StoppablePause pause(stop);
    upload::LinkContext context;
    context.sleep = [&pause](unsigned milliseconds) { pause(milliseconds); };
    context.cancel = stop;
    if (trace != nullptr)
        context.trace = [trace, &target](bool sent, std::span<const unsigned char> bytes) {
            trace->Write(target.uri.text, sent, bytes);
        };

    std::optional<upload::UploadFailure> failure;
    if (stop.stop_requested()) {
        // Asked to stop before this unit began: it is left untouched.
        failure = upload::UploadFailure{upload::FailureKind::Cancelled, upload::Phase::Open,
                                        "open " + target.devicePath, "asked to stop before the upload began", 0, 0};
    } else {
        failure = upload::RunUpload(*unit.link, firmware.bytes, observer, context);
    }

    UnitResult result;
    result.device = target.devicePath;
    result.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (!failure) {
        result.ok = true;
        result.bytesSent = firmware.bytes.size();
        return result;
    }
    result.bytesSent = failure->sent;
    std::optional<platform::NodeAccess> node;
    if (target.uri.link != DeviceUri::Link::Tcp &&
        (failure->kind == upload::FailureKind::AccessDenied || failure->kind == upload::FailureKind::DeviceBusy))
        node = platform::ProbeNode(target.devicePath);
    result.exitCode = ExitCodeOf(failure->kind);
    result.kind = upload::KindName(failure->kind);
    result.message = FailureText(target, *failure, node ? &*node : nullptr);
    result.cause = failure->cause;
    if (failure->phase == upload::Phase::Data) {
        result.frame = failure->block;
        result.offset = failure->offset;
    }
    return result;
}

std::vector<UnitResult> FlashUnits(const std::vector<Selection>& units, const FirmwareImage& firmware,
                                   ProgressBoard& board, TraceLog* trace, const LinkOptions& options,
                                   std::stop_token stop)
{
    std::vector<UnitResult> results(units.size());
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (!units[i].target) {
            results[i].exitCode = units[i].exitCode;
            results[i].kind = units[i].kind;
            results[i].message = units[i].message;
            board.Result(i, results[i]);
            continue;
        }
        // Each worker writes its own result only; they are read once all
        // have been joined.
        try {
            workers.emplace_back([&, i] {
                results[i] = FlashUnit(*units[i].target, firmware, board.Unit(i), trace, options, stop);
                board.Result(i, results[i]);
            });
        } catch (const std::system_error& e) {
            results[i].exitCode = kExitTransfer;
            results[i].kind = "no_worker";
            results[i].message = units[i].target->uri.text + ": no worker thread could be started: " + e.what() +
                                 "; flash this unit again";
            results[i].cause = e.what();
            board.Result(i, results[i]);
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    return results;
}

}  // namespace pyrrow::cli
