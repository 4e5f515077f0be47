#include "cli/output/failure_text.h"

namespace pyrrow::cli {

std::string FailureText(const Target& target, const upload::UploadFailure& failure, const platform::NodeAccess* node)
{
    using upload::FailureKind;
    const bool usb = target.uri.link == DeviceUri::Link::Usb;
    const bool tcp = target.uri.link == DeviceUri::Link::Tcp;
    const std::string where = failure.phase == upload::Phase::Data
                                  ? " at block " + std::to_string(failure.block) + " (file offset " +
                                        std::to_string(failure.offset) + ")"
                                  : std::string();
    std::string what;
    std::string next;
    switch (failure.kind) {
    case FailureKind::FirmwareOpen:
    case FailureKind::FirmwareTooShort:
    case FailureKind::FirmwareRead:
        what = "the firmware could not be read" + where;
        next = "check the file";
        break;
    case FailureKind::NoDevice:
        if (tcp) {
            what = "nothing accepts the connection";
            next = "check that the unit is on and waiting for firmware, its address and port, and the network; "
                   "--timeout-scale stretches the wait for slow networks";
        } else {
            what = usb ? "the unit could not be opened" : "the port could not be opened";
            next = "check the cable and the name ('pyrrow-cli list' shows what is attached)";
        }
        break;
    case FailureKind::AccessDenied:
        what = "the system refused access";
        next = node != nullptr && node->state != platform::NodeAccess::State::Missing
                   ? platform::DeniedAdvice(usb, *node, target.devicePath)
                   : std::string(usb ? "install the udev rule 70-pyrrow.rules and replug the unit"
                                     : "join the group that owns the port (usually dialout)");
        // Opening a serial port gives the advice with the system's words
        // already: it is said once.
        if (failure.cause.find(next) != std::string::npos)
            next = "flash again once that is done";
        break;
    case FailureKind::DeviceBusy:
        what = usb ? std::string("the unit is in use by another program") : platform::BusyMeaning();
        // The holder once: the cause may name it already.
        next = (node != nullptr && !node->holder.empty() && failure.cause.find(node->holder) == std::string::npos
                    ? "it is held by " + node->holder + "; "
                    : std::string()) +
               "close that program and flash again";
        break;
    case FailureKind::LinkSetup:
        what = "the link refused its settings";
        next = "check that it is the unit's serial port";
        break;
    case FailureKind::HeaderSend:
        what = "the header could not be sent";
        next = "check the cable or the network, then flash again";
        break;
    case FailureKind::HeaderNoAnswer:
        what = "no answer to the header";
        next = "put the unit into its firmware-loading mode (reset or power it up) and flash again; "
               "--timeout-scale F stretches the wait for slow links";
        break;
    case FailureKind::HeaderRejected:
        what = "the unit rejected the header";
        next = "check that the file is firmware for this unit";
        break;
    case FailureKind::BlockSend:
    case FailureKind::BlockNoAck:
    case FailureKind::LinkLost:
        what = "the transfer failed" + where;
        next = "check the cable or the network; the unit is not fully flashed: flash it again";
        break;
    case FailureKind::Cancelled:
        what = "stopped on request" + where;
        next = "the unit is not fully flashed: flash it again";
        break;
    case FailureKind::Host:
        what = "this host failed" + where;
        next = failure.phase == upload::Phase::Data
                   ? "the unit is not at fault, but it is not fully flashed: flash it again once the host has "
                     "what it lacked"
                   : "the unit is not at fault: flash again once the host has what it lacked";
        break;
    }
    return target.uri.text + ": " + what + ": tried to " + failure.action + ": " + failure.cause + "; " + next;
}

}  // namespace pyrrow::cli
