#include "platform/net/ipv4_text.h"

namespace pyrrow::platform {

std::string Ipv4Text(std::uint32_t address, std::uint16_t port)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) + ":" + std::to_string(port);
}

}  // namespace pyrrow::platform
