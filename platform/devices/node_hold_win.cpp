// Windows: a COM port or a HID interface is no file node that could be
// held without opening the device, so nothing is held; a unit has left when
// its port or its interface is gone, or another serial number stands there.
#include <utility>

#include "platform/devices/node_hold.h"

namespace pyrrow::platform {

NodeHold::NodeHold(const std::string&) {}

NodeHold::~NodeHold() = default;

NodeHold::NodeHold(NodeHold&& other) noexcept : m_node(std::exchange(other.m_node, -1)) {}

NodeHold& NodeHold::operator=(NodeHold&& other) noexcept
{
    m_node = std::exchange(other.m_node, -1);
    return *this;
}

bool NodeHold::Replaced(const std::string&) const
{
    return false;
}

}  // namespace pyrrow::platform
