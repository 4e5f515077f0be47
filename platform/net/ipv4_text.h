// An IPv4 address (host order) and a port as people write them, for
// messages and the names of TCP links: "192.168.1.20:1998".
#pragma once

#include <cstdint>
#include <string>

namespace pyrrow::platform {

std::string Ipv4Text(std::uint32_t address, std::uint16_t port);

}  // namespace pyrrow::platform
