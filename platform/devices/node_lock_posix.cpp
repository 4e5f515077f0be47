// The lock is a flock on a descriptor of our own. A flock belongs to the
// open file, and every open of the node reaches the same inode, so the lock
// is seen by whoever locks the node through any descriptor, also one of
// the HID library (which keeps its own descriptor to itself), and it is
// listed in /proc/locks, where 'pyrrow-cli list' finds its holder. Reading
// is all the descriptor asks for: it needs no more than the library's own
// open already got, and it never writes. It is not inherited by a child
// (O_CLOEXEC) and the open never waits (O_NONBLOCK, for a FIFO put where a
// node was expected).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/devices/node_lock.h"

namespace pyrrow::platform {

NodeLock& NodeLock::operator=(NodeLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool NodeLock::Take(const std::string& path, SystemError* error)
{
    Release();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        CaptureSystemError(error, "opening it to lock it");
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        SetSystemError(error, code, code == EWOULDBLOCK ? "another program holds its lock" : "locking it");
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void NodeLock::Release()
{
    if (m_fd < 0)
        return;
    // Closing the only descriptor of the open file ends its lock.
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace pyrrow::platform
