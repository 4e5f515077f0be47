// The command line as Windows gives it: the UTF-16 text split by the
// system's rules, with '-' and '/' both marking options.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/windows_text.h"

namespace {

// Runs this program with the command line's arguments and returns what
// it printed.
std::string RunChild(const std::wstring& arguments)
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --print-arguments " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "no pipe";
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    const BOOL started =
        ::CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    ::CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            output.append(buffer, n);
        ::WaitForSingleObject(child.hProcess, 10000);
        ::CloseHandle(child.hProcess);
        ::CloseHandle(child.hThread);
    }
    ::CloseHandle(readEnd);
    std::string text;
    for (char c : output)
        if (c != '\r')
            text.push_back(c);
    return text;
}

TEST(CommandLine, ArgumentsOfAChildProcess)
{
    // Quotes group blanks and are removed, a backslash before a quote keeps
    // the quote, and text outside the ANSI code page arrives whole.
    const std::string printed = RunChild(
        L"/c COM3 115200 8 0 -f \"C:\\Firmware\\\x017Dlu\x0165ou\x010Dk\x00FD k\x016F\x0148.fw\" say\\\"hi\\\"");
    EXPECT_EQ(printed,
              "argument /c\n"
              "argument COM3\n"
              "argument 115200\n"
              "argument 8\n"
              "argument 0\n"
              "argument -f\n"
              "argument C:\\Firmware\\\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.fw\n"
              "argument say\"hi\"\n"
              "port COM3\n"
              "file C:\\Firmware\\\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.fw\n");
}

}  // namespace
