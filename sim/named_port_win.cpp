// A COM port (\\.\COMn). WSAPoll cannot wait on it, so a reader thread
// waits for the program's bytes and passes them on through a loopback
// socket that the event loop watches; answers are written from the loop's
// thread. The handle is not overlapped (Wine completes no overlapped read of
// a port), and Windows runs the calls on such a handle one at a time: a
// read returns within kReadSliceMs, so an answer waits no longer than that.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "sim/named_port.h"
#include "sim/socket_pair.h"
#include "sim/windows_error.h"

namespace pyrrow::sim {
namespace {

// A write of an answer (at most 32 bytes) gives up after this long: the
// line has no flow control, so only a broken port takes that long.
constexpr DWORD kWriteTimeoutMs = 1000;
// A read returns as soon as bytes are there, and after this long without.
constexpr DWORD kReadSliceMs = 20;

class ComPort final : public SerialLine {
public:
    ~ComPort() override
    {
        m_stop.store(true);
        if (m_reader.joinable())
            m_reader.join();
        if (m_port != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_port);
        CloseSocket(m_pair.reader);
        CloseSocket(m_pair.writer);
    }

    bool Open(const std::string& name, std::string* error)
    {
        m_name = name;
        // "\\.\COM10": the device namespace, without which only COM1 to COM9 open.
        const std::wstring path = name.rfind("\\\\", 0) == 0 ? Utf8ToWide(name) : L"\\\\.\\" + Utf8ToWide(name);
        m_port = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_port == INVALID_HANDLE_VALUE) {
            *error = "cannot open the port " + name + ": " + WindowsErrorText(::GetLastError());
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_port, &dcb)) {
            *error = name + " is no serial port: " + WindowsErrorText(::GetLastError());
            return false;
        }
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        if (!::SetCommState(m_port, &dcb)) {
            *error = "cannot set 115200 bit/s 8N1 on " + name + ": " + WindowsErrorText(::GetLastError());
            return false;
        }
        COMMTIMEOUTS t{MAXDWORD, MAXDWORD, kReadSliceMs, 0, kWriteTimeoutMs};
        if (!::SetCommTimeouts(m_port, &t)) {
            *error = "cannot set the time-outs of " + name + ": " + WindowsErrorText(::GetLastError());
            return false;
        }
        m_pair = MakeSocketPair(error);
        if (m_pair.reader < 0)
            return false;
        m_reader = std::thread([this] { ReadPort(); });
        return true;
    }

    const std::string& Where() const override { return m_name; }
    int Fd() const override { return m_pair.reader; }

    long Read(void* buffer, std::size_t size, std::string* error) override
    {
        const int n = ::recv(static_cast<SOCKET>(m_pair.reader), static_cast<char*>(buffer), static_cast<int>(size), 0);
        if (n > 0)
            return n;
        if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK)
            return 0;
        // The reader thread ended: its reason is complete once it is joined.
        if (m_reader.joinable())
            m_reader.join();
        *error = m_failure.empty() ? m_name + ": the reader stopped" : m_failure;
        return -1;
    }

    bool Write(const void* data, std::size_t size, std::string* error) override
    {
        DWORD written = 0;
        if (!::WriteFile(m_port, data, static_cast<DWORD>(size), &written, nullptr)) {
            *error = "writing " + m_name + ": " + WindowsErrorText(::GetLastError());
            return false;
        }
        if (written == size)
            return true;
        *error = "writing " + m_name + ": " + std::to_string(written) + " of " + std::to_string(size) +
                 " bytes went out in " + std::to_string(kWriteTimeoutMs) + " ms";
        return false;
    }

    int OpenWatchFd() const override { return -1; }
    void TakeOpens() override {}

    bool Hold(std::string* error) override
    {
        *error = "busy needs a pseudo-terminal (Linux): the simulator cannot hold the program's end of " + m_name +
                 "'s pair; open that end with another program instead";
        return false;
    }

private:
    // The reader thread: each byte a read brings is passed on to the loop;
    // a failure is kept and ends the thread, which shuts its socket so that
    // the loop learns of it.
    void ReadPort()
    {
        char buffer[4096];
        while (!m_stop.load()) {
            DWORD n = 0;
            if (!::ReadFile(m_port, buffer, sizeof buffer, &n, nullptr)) {
                m_failure = "reading " + m_name + ": " + WindowsErrorText(::GetLastError());
                break;
            }
            if (n > 0 && ::send(static_cast<SOCKET>(m_pair.writer), buffer, static_cast<int>(n), 0) !=
                             static_cast<int>(n)) {
                m_failure = "passing on what came from " + m_name + ": " +
                            WindowsErrorText(static_cast<unsigned long>(::WSAGetLastError()));
                break;
            }
        }
        ::shutdown(static_cast<SOCKET>(m_pair.writer), SD_SEND);
    }

    std::string m_name;
    HANDLE m_port = INVALID_HANDLE_VALUE;
    SocketPair m_pair;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
    std::string m_failure;  // written by the reader thread before it ends
};

}  // namespace

std::unique_ptr<SerialLine> OpenNamedPort(const std::string& name, std::string* error)
{
    auto port = std::make_unique<ComPort>();
    if (!port->Open(name, error))
        return nullptr;
    return port;
}

}  // namespace pyrrow::sim
