#include "child_process.h"

#include <windows.h>

namespace pyrrow::test {
namespace {

// One argument as the C runtime splits command lines: in quotes, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::string WithoutCarriageReturns(const std::string& text)
{
    std::string plain;
    for (const char c : text)
        if (c != '\r')
            plain += c;
    return plain;
}

}  // namespace

std::filesystem::path BuiltProgram(const char* path)
{
    return std::filesystem::absolute(path).make_preferred();
}

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::wstring>& arguments)
{
    std::wstring commandLine = Quoted(program.wstring());
    for (const std::wstring& argument : arguments)
        commandLine += L" " + Quoted(argument);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outWrite = nullptr;
    HANDLE errWrite = nullptr;
    if (!::CreatePipe(&m_out.pipe, &outWrite, &inherit, 0) || !::CreatePipe(&m_err.pipe, &errWrite, &inherit, 0))
        return;
    ::SetHandleInformation(m_out.pipe, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(m_err.pipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION child{};
    const BOOL started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &child);
    // Only the child holds the write ends now: the reads end with it.
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    if (started) {
        m_process = child.hProcess;
        ::CloseHandle(child.hThread);
    }
    m_out.reader = std::thread([this] { Read(m_out); });
    m_err.reader = std::thread([this] { Read(m_err); });
}

ChildProcess::~ChildProcess()
{
    if (m_process != nullptr && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(m_process, 1);
    Join();
    if (m_process != nullptr)
        ::CloseHandle(m_process);
}

void ChildProcess::Read(Stream& stream)
{
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(stream.pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        const std::lock_guard lock(m_mutex);
        stream.text.append(buffer, n);
        m_changed.notify_all();
    }
    const std::lock_guard lock(m_mutex);
    stream.ended = true;
    m_changed.notify_all();
}

void ChildProcess::Join()
{
    for (Stream* stream : {&m_out, &m_err}) {
        if (stream->reader.joinable())
            stream->reader.join();
        if (stream->pipe != nullptr)
            ::CloseHandle(stream->pipe);
        stream->pipe = nullptr;
    }
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    std::size_t end = std::string::npos;
    m_changed.wait_for(lock, timeout, [&] {
        end = m_out.text.find('\n', m_linesRead);
        return end != std::string::npos || m_out.ended;
    });
    if (end == std::string::npos)
        return {};
    std::string line = WithoutCarriageReturns(m_out.text.substr(m_linesRead, end - m_linesRead));
    m_linesRead = end + 1;
    return line;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_process == nullptr)
        return -1;
    int code = -1;
    if (::WaitForSingleObject(m_process, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        ::GetExitCodeProcess(m_process, &exitCode);
        code = static_cast<int>(exitCode);
    } else {
        ::TerminateProcess(m_process, 1);
        ::WaitForSingleObject(m_process, INFINITE);
    }
    Join();
    return code;
}

std::string ChildProcess::Output()
{
    const std::lock_guard lock(m_mutex);
    return WithoutCarriageReturns(m_out.text.substr(m_linesRead));
}

std::string ChildProcess::Errors()
{
    const std::lock_guard lock(m_mutex);
    return WithoutCarriageReturns(m_err.text);
}

}  // namespace pyrrow::test
