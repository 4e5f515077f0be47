#include "cli/station/unit_wait.h"

#include <algorithm>
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/station/stoppable_pause.h"
#include "platform/net/tcp_connection.h"
#include "platform/serial/serial.h"
#include "platform/utf.h"
#include "upload/protocol.h"

namespace pyrrow::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Until(Clock::time_point at)
{
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()));
}

void Pause(StoppablePause& pause, std::chrono::milliseconds duration)
{
    if (duration.count() > 0)
        pause(static_cast<unsigned>(duration.count()));
}

}  // namespace

WaitLimit WaitLimit::After(std::optional<std::chrono::milliseconds> timeout)
{
    WaitLimit limit;
    if (timeout) {
        limit.until = Clock::now() + *timeout;
        limit.timeout = *timeout;
    }
    return limit;
}

std::chrono::milliseconds WaitLimit::Pause(std::chrono::milliseconds wanted) const
{
    if (until == Clock::time_point::max())
        return wanted;
    return std::min(wanted, Until(until));
}

std::string NoUnitWithin(std::chrono::milliseconds timeout)
{
    char text[64];
    std::snprintf(text, sizeof text, "no unit came within %.1f s", static_cast<double>(timeout.count()) / 1000.0);
    return text;
}

ArrivalLink::ArrivalLink(std::unique_ptr<upload::Link> link, bool serial, WaitLimit limit, std::stop_token stop,
                         std::function<void()> onWaiting, std::function<void()> onArrived)
    : m_link(std::move(link)),
      m_serial(serial),
      m_limit(limit),
      m_stop(stop),
      m_onWaiting(std::move(onWaiting)),
      m_onArrived(std::move(onArrived))
{
}

std::optional<upload::UploadFailure> ArrivalLink::Open(const upload::LinkContext& context)
{
    StoppablePause pause(m_stop);
    if (m_onWaiting)
        m_onWaiting();
    std::optional<Clock::time_point> deniedSince;
    for (;;) {
        const auto attempt = Clock::now();
        std::optional<upload::UploadFailure> failure = m_link->Open(context);
        if (!failure) {
            if (m_onArrived)
                m_onArrived();
            return std::nullopt;
        }
        m_link->Close();
        bool again = failure->kind == upload::FailureKind::NoDevice;
        if (m_serial && failure->kind == upload::FailureKind::AccessDenied) {
            if (!deniedSince)
                deniedSince = attempt;
            again = attempt - *deniedSince < kSerialAccessGrace;
        }
        if (!again)
            return failure;
        if (m_stop.stop_requested()) {
            failure->kind = upload::FailureKind::Cancelled;
            failure->cause = "asked to stop while waiting for the unit";
            return failure;
        }
        if (m_limit.Passed()) {
            failure->cause = NoUnitWithin(m_limit.timeout) + " (the last try: " + failure->cause + ")";
            return failure;
        }
        Pause(pause, m_limit.Pause(Until(attempt + kArrivalRetry)));
    }
}

UsbArrival WaitForUsbUnit(const DeviceUri& uri, platform::HidBackend& hid, WaitLimit limit, std::stop_token stop)
{
    StoppablePause pause(stop);
    const auto noSerialPorts = [](const std::string&) { return false; };
    for (;;) {
        UsbArrival arrival;
        const auto units = hid.Enumerate(protocol::kUsbVendorId, protocol::kUsbProductId);
        arrival.selection = Select(uri, units, noSerialPorts);
        if (arrival.selection.target) {
            for (const auto& unit : units)
                if (unit.path == arrival.selection.target->devicePath)
                    arrival.serialNumber = platform::Utf16ToUtf8Lossy(unit.serialNumber);
            arrival.end = UsbArrival::End::Arrived;
            return arrival;
        }
        if (arrival.selection.exitCode == kExitAmbiguous) {
            arrival.end = UsbArrival::End::Ambiguous;
            return arrival;
        }
        if (stop.stop_requested()) {
            arrival.end = UsbArrival::End::Stopped;
            return arrival;
        }
        if (limit.Passed()) {
            arrival.end = UsbArrival::End::TimedOut;
            return arrival;
        }
        Pause(pause, limit.Pause(kPollInterval));
    }
}

namespace {

// Whether the unit of target has left, by one look. problem gets why a look
// could not tell, and is emptied by one that could.
bool HasLeft(const Target& target, const platform::NodeHold& node, const std::string& serialNumber,
             platform::HidBackend& hid, const std::stop_token& stop, std::string& problem)
{
    switch (target.uri.link) {
    case DeviceUri::Link::Serial:
        return !platform::SerialPortExists(target.uri.serialPort) || node.Replaced(target.devicePath);
    case DeviceUri::Link::Usb: {
        const auto units = hid.Enumerate(protocol::kUsbVendorId, protocol::kUsbProductId);
        if (target.devicePath.empty())
            return Select(target.uri, units, [](const std::string&) { return false; }).exitCode == kExitNoDevice;
        return node.Replaced(target.devicePath) ||
               std::none_of(units.begin(), units.end(), [&](const platform::HidDeviceInfo& unit) {
                   return unit.path == target.devicePath &&
                          platform::Utf16ToUtf8Lossy(unit.serialNumber) == serialNumber;
               });
    }
    case DeviceUri::Link::Tcp:
        break;
    }
    platform::SystemError error;
    // A probe that connects is closed at once.
    if (platform::TcpConnection::Connect(target.uri.address, target.uri.port, kWaitConnectTimeout, &error, stop)) {
        problem.clear();
        return false;
    }
    if (stop.stop_requested())
        return false;
    if (error.kind == platform::SystemError::Kind::Host) {
        problem = "the last probe failed: " + error.text;
        return false;
    }
    return true;
}

// The looks of a wait on a timetable of the monotonic clock, one every
// interval from the first: a look that takes its time does not push the
// next ones back, and one that comes too late for its time takes the next
// time ahead. It also says when to tell that the unit is still there.
class Timetable {
public:
    explicit Timetable(Clock::duration interval)
        : m_interval(interval), m_next(Clock::now()), m_notice(m_next + kStillThereAfter)
    {
    }

    void PauseForNext(StoppablePause& pause)
    {
        m_next = After(m_next, m_interval);
        Pause(pause, Until(m_next));
    }

    // True when the unit has stayed long enough to be told, then once per
    // kStillThereEvery.
    bool NoticeDue()
    {
        if (Clock::now() < m_notice)
            return false;
        m_notice = After(m_notice, kStillThereEvery);
        return true;
    }

private:
    // The first time of at + k * interval (k >= 1) still ahead.
    static Clock::time_point After(Clock::time_point at, Clock::duration interval)
    {
        at += interval;
        const auto now = Clock::now();
        if (at < now)
            at += ((now - at) / interval + 1) * interval;
        return at;
    }

    Clock::duration m_interval;
    Clock::time_point m_next;
    Clock::time_point m_notice;
};

}  // namespace

bool WaitForDeparture(const Target& target, const platform::NodeHold& node, const std::string& serialNumber,
                      platform::HidBackend& hid, std::stop_token stop,
                      const std::function<void(const std::string& problem)>& stillThere)
{
    StoppablePause pause(stop);
    Timetable looks(target.uri.link == DeviceUri::Link::Tcp ? kDepartureProbe : kPollInterval);
    std::string problem;
    for (;;) {
        if (HasLeft(target, node, serialNumber, hid, stop, problem))
            return true;
        if (stop.stop_requested())
            return false;
        if (stillThere && looks.NoticeDue())
            stillThere(problem);
        looks.PauseForNext(pause);
    }
}

}  // namespace pyrrow::cli
