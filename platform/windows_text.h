// What the Windows sources of the platform layer share: UTF-16 text as the
// ...W functions take it, and the system's reason for a failed call, caught
// right after the call and written to standard error with what was tried on
// what, and the most one call takes. No <windows.h> here: codes and sizes
// are DWORDs (and ULONGs) as unsigned long.
#pragma once

#include <cstddef>
#include <string>

#include "platform/system_error.h"

namespace pyrrow::platform {

// UTF-16 as wchar_t (16 bits on Windows) and back.
std::wstring ToWide(const std::u16string& text);
std::u16string FromWide(const wchar_t* text);
std::u16string FromWide(const std::wstring& text);

// A UTF-8 path (as the file service takes it) as the ...W functions take
// it; empty when it is not valid UTF-8.
std::wstring WidePath(const std::string& path);

// UTF-16 to UTF-8 for texts people read (Utf16ToUtf8Lossy of platform/utf.h).
std::string ToUtf8(const std::u16string& text);

// The system's message of an error code (GetLastError, WSAGetLastError)
// without the line end: "Access is denied."
std::u16string SystemMessage(unsigned long code);
// The same in UTF-8 followed by the code: "Access is denied. (5)".
std::string SystemErrorText(unsigned long code);

// Writes "area: action object: reason" to standard error.
void ReportSystemError(const char* area, const char* action, const std::u16string& object, unsigned long code);

// Gives the reason to error when the caller takes it, else writes it as
// ReportSystemError does.
void TellSystemError(SystemError* error, const char* area, const char* action, const std::u16string& object,
                     unsigned long code);

// How much of size bytes one call reads, writes or hashes: at most 1 GiB,
// well within what every such call takes at once.
inline unsigned long CallChunk(std::size_t size)
{
    return size > 0x40000000 ? 0x40000000 : static_cast<unsigned long>(size);
}

}  // namespace pyrrow::platform
