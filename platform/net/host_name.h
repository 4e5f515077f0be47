// This machine's name on the network, as a station's records and status
// name it. One source file per system.
#pragma once

#include <string>

namespace pyrrow::platform {

// The host name; empty when the system does not tell it.
std::string HostName();

}  // namespace pyrrow::platform
