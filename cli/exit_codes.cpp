#include "cli/exit_codes.h"

namespace pyrrow::cli {

int ExitCodeOf(upload::FailureKind kind)
{
    using upload::FailureKind;
    switch (kind) {
    case FailureKind::FirmwareOpen:
    case FailureKind::FirmwareTooShort:
    case FailureKind::FirmwareRead:
        return kExitFirmware;
    case FailureKind::NoDevice: return kExitNoDevice;
    case FailureKind::AccessDenied: return kExitDenied;
    case FailureKind::DeviceBusy: return kExitBusy;
    case FailureKind::HeaderNoAnswer: return kExitNoAnswer;
    case FailureKind::HeaderRejected: return kExitRejected;
    case FailureKind::LinkSetup:
    case FailureKind::HeaderSend:
    case FailureKind::BlockSend:
    case FailureKind::BlockNoAck:
    case FailureKind::LinkLost:
        return kExitTransfer;
    case FailureKind::Cancelled: return kExitInterrupted;
    case FailureKind::Host: return kExitHost;
    }
    return kExitTransfer;
}

int CombineExitCodes(const std::vector<int>& units, bool interrupted)
{
    if (interrupted)
        return kExitInterrupted;
    if (units.empty())
        return kExitOk;
    for (const int code : units)
        if (code != units.front())
            return kExitMixed;
    return units.front();
}

std::string ExitCodeTable(bool withList)
{
    return std::string("Exit codes:\n") +
           (withList ? "    0  every unit flashed; list: the list was printed (also when nothing is attached)\n"
                     : "    0  every unit flashed\n") +
           "    2  usage: bad or conflicting options, bad device text\n"
           "    3  settings file unreadable or missing what is needed\n"
           "    4  firmware file missing, unreadable or shorter than its 32-byte header\n"
           "    5  no unit matches the selector (TCP: nothing accepts the connection); --wait-timeout: no unit came\n"
           "    6  the selector matches more than one unit\n"
           "    7  the system refused access to the device\n"
           "    8  the port or device is in use by another program (a USB unit: another upload holds it)\n"
           "    9  no answer to the header\n"
           "   10  the header answer was rejected (wrong length, echo or status)\n"
           "   11  the transfer failed: a block not written, a frame not acknowledged, the link lost\n"
           "   12  the --log file could not be opened or written: the station stopped before the next unit\n"
           "   13  this host failed: the system lacked descriptors, memory or locks, or a wait call failed\n"
           "   14  several units, and they did not all end the same way; --repeat: some unit failed\n"
           "   15  the firmware file's SHA-256 is not the one given with --sha256: no unit was touched\n"
           "  130  interrupted (SIGINT/SIGTERM, Ctrl+C): every unit stopped between blocks, every port closed\n";
}

}  // namespace pyrrow::cli
