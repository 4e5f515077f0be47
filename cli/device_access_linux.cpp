#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/device_access.h"
#include "platform/serial_access.h"

namespace pyrrow::cli {
namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string ProcessName(const std::string& pid)
{
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return "pid " + pid + (name.empty() ? std::string() : " (" + name + ")");
}

// A flock or POSIX lock on the node, by any process of any user: /proc/locks
// names the locked file by its file system's device and its inode.
std::string LockHolder(const struct stat& node, const std::string& self)
{
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind;
        if (kind == "->")
            continue;  // a waiter, not a holder
        fields >> mode >> access >> pid >> file;
        unsigned major = 0, minor = 0;
        std::uintmax_t inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%" SCNuMAX, &major, &minor, &inode) != 3)
            continue;
        if (major == ::major(node.st_dev) && minor == ::minor(node.st_dev) && inode == node.st_ino && pid != self)
            return ProcessName(pid) + ", by its lock";
    }
    return {};
}

// A lock file in the manner of the serial tools that use them
// (LCK..ttyUSB0 holding the pid), when its process still runs.
std::string LockFileHolder(const std::string& path)
{
    const std::string name = fs::path(path).filename().string();
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        std::ifstream in(std::string(folder) + "/LCK.." + name);
        long pid = 0;
        if (in >> pid && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return ProcessName(std::to_string(pid)) + ", by the lock file " + folder + "/LCK.." + name;
    }
    return {};
}

// A process that has the node open. Only processes whose open files this
// user may see are looked at (all of them for root).
std::string OpenHolder(const struct stat& node, const std::string& self)
{
    std::error_code ec;
    for (fs::directory_iterator process("/proc", ec), end; !ec && process != end; process.increment(ec)) {
        const std::string pid = process->path().filename().string();
        if (!IsNumber(pid) || pid == self)
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError); !fdError && fd != end;
             fd.increment(fdError)) {
            struct stat st {};
            if (::stat(fd->path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == node.st_rdev)
                return ProcessName(pid) + ", which has it open";
        }
    }
    return {};
}

}  // namespace

NodeAccess ProbeNode(const std::string& path, bool countOwn)
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
    const std::string self = countOwn ? std::string() : std::to_string(::getpid());
    access.holder = LockHolder(node, self);
    if (access.holder.empty())
        access.holder = LockFileHolder(path);
    if (access.holder.empty() && S_ISCHR(node.st_mode))
        access.holder = OpenHolder(node, self);
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
    return platform::SerialAccessAdvice(access.owner, access.group, mode,
                                        platform::SerialUdevMatch(path, platform::KernelName(path)));
}

}  // namespace pyrrow::cli
