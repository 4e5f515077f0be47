// Waiting for a unit to arrive in its fixture and to leave it again, for
// --wait and the station mode. Every wait polls and pauses through a
// stoppable pause, and a TCP probe's connect ends on a stop request too, so
// a stop request ends every wait at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "cli/flash/select.h"
#include "platform/devices/hid.h"
#include "platform/devices/node_hold.h"
#include "upload/upload_engine.h"

namespace pyrrow::cli {

using namespace std::chrono_literals;

// How often the upload's own connect or open is tried again while waiting.
constexpr auto kArrivalRetry = 500ms;
// How often a USB enumeration or a serial path is looked at.
constexpr auto kPollInterval = 200ms;
// How often a TCP address is probed when waiting for it to stop accepting,
// on a timetable: a slow probe does not push the next ones back.
constexpr auto kDepartureProbe = 500ms;
// Longest single connect attempt while waiting (so that a stop is seen in time).
constexpr auto kWaitConnectTimeout = 200ms;
// A serial node that has just appeared may refuse access until the system
// has given it its group: refusals are tried again for this long.
constexpr auto kSerialAccessGrace = 2s;
// A unit still in its fixture this long after its upload is said to be
// there, and again every kStillThereEvery, so that a station that waits is
// never taken for one that hangs.
constexpr auto kStillThereAfter = 5s;
constexpr auto kStillThereEvery = 30s;

// When a wait gives up: never, or at until (timeout after its start).
struct WaitLimit {
    std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds timeout{0};

    // No limit for nothing.
    static WaitLimit After(std::optional<std::chrono::milliseconds> timeout);
    bool Passed() const { return std::chrono::steady_clock::now() >= until; }
    // How long to pause for at most wanted without passing the limit.
    std::chrono::milliseconds Pause(std::chrono::milliseconds wanted) const;
};

// The upload's own link, whose Open is tried again for as long as the unit
// is not there (no such port, nothing accepts the connection), so that the
// unit sees no connection besides the upload's. Everything else is the
// link's own. onWaiting is called when the wait begins, onArrived once the
// link is open; either may be empty.
class ArrivalLink final : public upload::Link {
public:
    ArrivalLink(std::unique_ptr<upload::Link> link, bool serial, WaitLimit limit, std::stop_token stop,
                std::function<void()> onWaiting, std::function<void()> onArrived);

    std::optional<upload::UploadFailure> Open(const upload::LinkContext& context) override;
    std::optional<upload::UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                        const upload::LinkContext& context) override
    {
        return m_link->ExchangeHeader(header, context);
    }
    std::size_t BlockSize() const override { return m_link->BlockSize(); }
    std::optional<upload::UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                                   const upload::LinkContext& context) override
    {
        return m_link->SendBlock(block, number, context);
    }
    unsigned PauseAfterBlock() const override { return m_link->PauseAfterBlock(); }
    void Close() override { m_link->Close(); }
    void Cut() override { m_link->Cut(); }

private:
    std::unique_ptr<upload::Link> m_link;
    bool m_serial;
    WaitLimit m_limit;
    std::stop_token m_stop;
    std::function<void()> m_onWaiting;
    std::function<void()> m_onArrived;
};

// How a wait for a USB unit ended: the unit, or why there is none.
struct UsbArrival {
    enum class End { Arrived, Ambiguous, TimedOut, Stopped };
    End end = End::Stopped;
    Selection selection;  // Arrived: the target; Ambiguous: the failure that lists them
    std::string serialNumber;  // Arrived: the unit's, when it has one
};

// Looks at the attached units every kPollInterval until one matches uri.
UsbArrival WaitForUsbUnit(const DeviceUri& uri, platform::HidBackend& hid, WaitLimit limit,
                          std::stop_token stop);

// Waits until the unit of target has left: the serial path is gone, the
// USB unit is no longer attached, the TCP address no longer accepts (a
// probe that connects is closed at once). A unit replaced at once has left
// too: node (taken when it came) is no longer at the path, or the USB unit
// at its path has another serial number than serialNumber (its own). A USB
// target without a device path waits until no unit matches its selector.
// A probe that fails for a reason of this host (no descriptors, no memory)
// tells nothing: the wait goes on. stillThere (may be empty) is called
// once the unit has stayed kStillThereAfter and every kStillThereEvery
// after, with why the last look could not tell (empty: it is simply
// there). False when stopped first.
bool WaitForDeparture(const Target& target, const platform::NodeHold& node, const std::string& serialNumber,
                      platform::HidBackend& hid, std::stop_token stop,
                      const std::function<void(const std::string& problem)>& stillThere = {});

// "no unit came within 2.5 s".
std::string NoUnitWithin(std::chrono::milliseconds timeout);

}  // namespace pyrrow::cli
