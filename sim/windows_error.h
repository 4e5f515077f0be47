// Text for the Windows calls of the simulator: the system's words for an
// error code in UTF-8, and UTF-8 names as the ...W functions take them.
// For the Windows sources of the simulator only.
#pragma once

#include <string>

namespace pyrrow::sim {

// The system's words for a Windows error code (GetLastError,
// WSAGetLastError), followed by the code: "Access is denied. (5)".
std::string WindowsErrorText(unsigned long code);

// A UTF-8 text as UTF-16 (invalid bytes become U+FFFD).
std::wstring Utf8ToWide(const std::string& text);

}  // namespace pyrrow::sim
