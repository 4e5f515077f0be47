#include <windows.h>

#include <cstdio>
#include <optional>

#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

std::wstring ToWide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring WidePath(const std::string& path)
{
    const std::optional<std::u16string> wide = Utf8ToUtf16(path);
    return wide ? ToWide(*wide) : std::wstring();
}

std::u16string FromWide(const wchar_t* text)
{
    return text != nullptr ? FromWide(std::wstring(text)) : std::u16string();
}

std::u16string FromWide(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

std::string ToUtf8(const std::u16string& text)
{
    return Utf16ToUtf8Lossy(text);
}

std::u16string SystemMessage(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        text = L"error";
    return FromWide(text);
}

std::string SystemErrorText(unsigned long code)
{
    return ToUtf8(SystemMessage(code)) + " (" + std::to_string(code) + ")";
}

void TellSystemError(SystemError* error, const char* area, const char* action, const std::u16string& object,
                     unsigned long code)
{
    if (error != nullptr)
        SetSystemError(error, static_cast<int>(code));
    else
        ReportSystemError(area, action, object, code);
}

void ReportSystemError(const char* area, const char* action, const std::u16string& object, unsigned long code)
{
    const std::string reason = SystemErrorText(code);
    std::fprintf(stderr, "%s: %s %s: %s\n", area, action, ToUtf8(object).c_str(), reason.c_str());
}

}  // namespace pyrrow::platform
