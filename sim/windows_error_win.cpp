#include <windows.h>

#include "sim/windows_error.h"

namespace pyrrow::sim {

std::string WindowsErrorText(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring wide = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring(L"error");
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
        wide.pop_back();
    std::string text;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                            nullptr, nullptr);
    if (bytes > 0) {
        text.resize(static_cast<std::size_t>(bytes));
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes, nullptr,
                              nullptr);
    }
    return text + " (" + std::to_string(code) + ")";
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring wide;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n > 0) {
        wide.resize(static_cast<std::size_t>(n));
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    }
    return wide;
}

}  // namespace pyrrow::sim
