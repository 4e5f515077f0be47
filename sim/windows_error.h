// The system's words for a Windows error code (GetLastError,
// WSAGetLastError) in UTF-8, followed by the code: "Access is denied. (5)".
// For the Windows sources of the simulator only.
#pragma once

#include <string>

namespace pyrrow::sim {

std::string WindowsErrorText(unsigned long code);

}  // namespace pyrrow::sim
