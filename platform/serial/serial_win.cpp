#include <windows.h>

#include <atomic>
#include <new>
#include <optional>
#include <thread>

#include "platform/serial/serial.h"
#include "platform/serial/serial_line_settings.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

struct OpenSerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::u16string name;
    bool outputStuck = false;  // a write failed or timed out
};

namespace {

constexpr const char* kArea = "serial";

std::wstring DevicePath(const std::string& portName)
{
    // "\\.\COM10": the device namespace, without which only COM1 to COM9 open.
    const std::wstring name = ToWide(Utf8ToUtf16Escaped(portName));
    if (name.starts_with(L"\\\\"))
        return name;
    return L"\\\\.\\" + name;
}

DWORD Clamped(std::size_t size)
{
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

// Ends the calling thread's synchronous transfer on the port when a stop is
// asked during it. A stop that comes just before the transfer begins is
// retried until the transfer is there to cancel or has ended.
class StopCancelsTransfer {
public:
    explicit StopCancelsTransfer(const std::stop_token& stop)
    {
        if (!stop.stop_possible())
            return;
        if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &m_thread, 0,
                               FALSE, DUPLICATE_SAME_ACCESS))
            return;
        m_callback.emplace(stop, [this] {
            while (!m_done.load() && !::CancelSynchronousIo(m_thread) && ::GetLastError() == ERROR_NOT_FOUND)
                std::this_thread::yield();
        });
    }
    ~StopCancelsTransfer()
    {
        m_done.store(true);
        m_callback.reset();  // waits for a callback under way
        if (m_thread != nullptr)
            ::CloseHandle(m_thread);
    }
    StopCancelsTransfer(const StopCancelsTransfer&) = delete;
    StopCancelsTransfer& operator=(const StopCancelsTransfer&) = delete;

private:
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_done{false};
    std::optional<std::stop_callback<std::function<void()>>> m_callback;
};

}  // namespace

std::string SerialDevicePath(const std::string& portName)
{
    return ToUtf8(FromWide(DevicePath(portName)));
}

bool SerialPortExists(const std::string& portName)
{
    // A COM port that exists answers to its DOS device name, listed or not.
    std::wstring name = ToWide(Utf8ToUtf16Escaped(portName));
    if (name.starts_with(L"\\\\.\\"))
        name.erase(0, 4);
    wchar_t target[512];
    return !name.empty() && ::QueryDosDeviceW(name.c_str(), target, 512) != 0;
}

SerialHandle OpenSerial(const std::string& portName, SystemError* error)
{
    const std::wstring path = DevicePath(portName);
    // No sharing: a port another program has open fails.
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Windows says "access denied" for a port another program holds.
        TellSystemError(error, kArea, "open", FromWide(path), code);
        if (error != nullptr && code == ERROR_ACCESS_DENIED)
            error->kind = SystemError::Kind::Busy;
        return nullptr;
    }
    // Only a serial port has a line state.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        TellSystemError(error, kArea, "read the line settings of", FromWide(path), ::GetLastError());
        ::CloseHandle(h);
        return nullptr;
    }
    auto* port = new (std::nothrow) OpenSerialPort;
    if (port == nullptr) {
        TellSystemError(error, kArea, "open", FromWide(path), ERROR_NOT_ENOUGH_MEMORY);
        ::CloseHandle(h);
        return nullptr;
    }
    port->handle = h;
    port->name = FromWide(path);
    return port;
}

bool ConfigureSerial(SerialHandle port, unsigned baudRate, SystemError* error)
{
    if (port == nullptr)
        return false;
    // 8 data bits, no parity, DTR and RTS held off, no flow control of
    // either kind; stop bits and the rest stay as the port has them.
    switch (SetSerialLineSettings(port->handle, baudRate, SerialEnd::Program)) {
    case SerialLineFailure::None:
        return true;
    case SerialLineFailure::Read:
        TellSystemError(error, kArea, "read the line settings of", port->name, ::GetLastError());
        return false;
    case SerialLineFailure::Write:
        TellSystemError(error, kArea, "set 8 data bits, no parity at the speed asked on", port->name, ::GetLastError());
        return false;
    }
    return false;
}

void SetSerialTimeouts(SerialHandle port, const SerialTimeouts& timeouts)
{
    if (port == nullptr)
        return;
    // One to one: the port's driver keeps these times itself.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    if (!::SetCommTimeouts(port->handle, &t))
        ReportSystemError(kArea, "set the time-outs of", port->name, ::GetLastError());
}

bool ClearSerialInput(SerialHandle port, SystemError* error)
{
    if (port == nullptr)
        return false;
    if (::PurgeComm(port->handle, PURGE_RXCLEAR))
        return true;
    TellSystemError(error, kArea, "clear the received bytes of", port->name, ::GetLastError());
    return false;
}

bool ReadSerial(SerialHandle port, void* buffer, std::size_t size, std::size_t* read, SystemError* error,
                std::stop_token stop)
{
    *read = 0;
    if (port == nullptr)
        return false;
    if (stop.stop_requested())
        return true;
    DWORD n = 0;
    DWORD code = 0;
    {
        const StopCancelsTransfer cancel(stop);
        if (!::ReadFile(port->handle, buffer, Clamped(size), &n, nullptr))
            code = ::GetLastError();
    }
    if (code == ERROR_OPERATION_ABORTED && stop.stop_requested())
        return true;  // the stop ended the wait; what came is lost with it
    if (code != 0) {
        TellSystemError(error, kArea, "read from", port->name, code);
        return false;
    }
    *read = n;
    return true;
}

bool WriteSerial(SerialHandle port, const void* data, std::size_t size, std::size_t* written, SystemError* error,
                 std::stop_token stop)
{
    *written = 0;
    if (port == nullptr)
        return false;
    DWORD n = 0;
    DWORD code = ERROR_OPERATION_ABORTED;
    if (!stop.stop_requested()) {
        const StopCancelsTransfer cancel(stop);
        code = ::WriteFile(port->handle, data, Clamped(size), &n, nullptr) ? 0 : ::GetLastError();
    }
    if (code != 0 && stop.stop_requested()) {
        port->outputStuck = true;
        SetErrorText(error, SystemError::Kind::Other, "asked to stop");
        return false;
    }
    if (code != 0) {
        TellSystemError(error, kArea, "write to", port->name, code);
        port->outputStuck = true;
        return false;
    }
    *written = n;
    if (n < size) {
        port->outputStuck = true;
        SetErrorText(error, SystemError::Kind::Other,
                     std::to_string(n) + " of " + std::to_string(size) + " bytes written in time");
    }
    return true;
}

void SetSerialOutputQueue(SerialHandle, std::function<long()>)
{
    // WriteFile returns once the bytes have gone: there is no queue to ask.
}

void SetSerialWrite(SerialHandle, std::function<long(const void*, std::size_t)>)
{
    // WriteFile waits for the port itself: there is no loop of ours to feed.
}

void CloseSerial(SerialHandle port)
{
    if (port == nullptr)
        return;
    // Output that a failed or short write left behind would never go out.
    if (port->outputStuck)
        ::PurgeComm(port->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    ::CloseHandle(port->handle);
    delete port;
}

}  // namespace pyrrow::platform
