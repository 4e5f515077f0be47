// The node a unit was found at, held through an O_PATH descriptor: the
// device is not opened (its driver sees no open, no modem line is raised,
// no lock is taken), yet the node's link count shows its removal even when
// a new node of the same number stands at the same name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "platform/devices/node_hold.h"

namespace pyrrow::platform {

NodeHold::NodeHold(const std::string& path) : m_node(::open(path.c_str(), O_PATH | O_CLOEXEC)) {}

NodeHold::~NodeHold()
{
    if (m_node >= 0)
        ::close(m_node);
}

NodeHold::NodeHold(NodeHold&& other) noexcept : m_node(std::exchange(other.m_node, -1)) {}

NodeHold& NodeHold::operator=(NodeHold&& other) noexcept
{
    if (this != &other) {
        if (m_node >= 0)
            ::close(m_node);
        m_node = std::exchange(other.m_node, -1);
    }
    return *this;
}

bool NodeHold::Replaced(const std::string& path) const
{
    struct stat held {};
    if (m_node < 0 || ::fstat(m_node, &held) != 0)
        return false;
    if (held.st_nlink == 0)
        return true;
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0)
        return false;
    return now.st_dev != held.st_dev || now.st_ino != held.st_ino;
}

}  // namespace pyrrow::platform
