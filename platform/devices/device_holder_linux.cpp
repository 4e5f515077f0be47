// The holders are read from /proc: /proc/locks for locks, /proc/<pid>/fd for
// open descriptors.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/devices/device_holder.h"

namespace pyrrow::platform {
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
std::string LockFileHolder(const std::string& path, const std::string& self)
{
    const std::string name = fs::path(path).filename().string();
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        std::ifstream in(std::string(folder) + "/LCK.." + name);
        long pid = 0;
        if (in >> pid && pid > 0 && std::to_string(pid) != self &&
            (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return ProcessName(std::to_string(pid)) + ", by the lock file " + folder + "/LCK.." + name;
    }
    return {};
}

// Whether the descriptor was opened with O_PATH: it names the node without
// opening the device (a watch on where a unit sits), so it holds nothing.
bool OnlyNamesTheNode(const fs::path& process, const std::string& fd)
{
    std::ifstream in(process / "fdinfo" / fd);
    for (std::string field; in >> field;) {
        if (field == "flags:") {
            unsigned long flags = 0;
            in >> std::oct >> flags;
            return (flags & O_PATH) != 0;
        }
    }
    return false;
}

// A process that has the device open.
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
            if (::stat(fd->path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == node.st_rdev &&
                !OnlyNamesTheNode(process->path(), fd->path().filename().string()))
                return ProcessName(pid) + ", which has it open";
        }
    }
    return {};
}

}  // namespace

std::string DeviceHolder(const std::string& path)
{
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return {};
    const std::string self = std::to_string(::getpid());
    std::string holder = LockHolder(node, self);
    if (holder.empty()) {
        // Lock files are named after the kernel's name, not a link's.
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);
        holder = LockFileHolder(ec ? path : real.string(), self);
    }
    if (holder.empty() && S_ISCHR(node.st_mode))
        holder = OpenHolder(node, self);
    return holder;
}

}  // namespace pyrrow::platform
