#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/devices/device_access.h"
#include "platform/devices/device_holder.h"
#include "platform/serial/serial_access.h"

namespace pyrrow::platform {

NodeAccess ProbeNode(const std::string& path)
{
    NodeAccess access;
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return access;
    const passwd* owner = ::getpwuid(node.st_uid);
    const group* grp = ::getgrgid(node.st_gid);
    access.owner = owner != nullptr ? owner->pw_name : std::to_string(node.st_uid);
    access.group = grp != nullptr ? grp->gr_name : std::to_string(node.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.st_mode & 07777));
    access.mode = mode;
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
        access.state = NodeAccess::State::Denied;
        return access;
    }
    access.holder = DeviceHolder(path);
    access.state = access.holder.empty() ? NodeAccess::State::Ok : NodeAccess::State::Busy;
    return access;
}

std::string BusyMeaning()
{
    return "the port is in use by another program";
}

std::string DeniedAdvice(bool usb, const NodeAccess& access, const std::string& path)
{
    const std::string node = "the node belongs to " + access.owner + ":" + access.group + " with mode " + access.mode;
    if (usb)
        return node + "; install the udev rule 70-pyrrow.rules (cmake --install puts it into the udev rules "
                      "folder; it is dist/linux/70-pyrrow.rules in the source), then run 'sudo udevadm control "
                      "--reload && sudo udevadm trigger' or replug the unit; it gives access to the user at the "
                      "machine (for remote sessions see the README's group rule)";
    // The window's advice: a group to join only where that helps, else the
    // udev rule an administrator can add.
    const unsigned mode = static_cast<unsigned>(std::strtoul(access.mode.c_str(), nullptr, 8));
    return SerialAccessAdvice(access.owner, access.group, mode,
                                        SerialUdevMatch(path, KernelName(path)));
}

}  // namespace pyrrow::platform
