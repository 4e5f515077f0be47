// A COM port (\\.\COMn). The io_context cannot wait on it: Wine completes no
// overlapped read of a port. So the handle is not overlapped, a reader
// thread waits for the program's bytes and posts them to the io_context,
// and answers are written from the io_context's thread. Windows runs the
// calls on such a handle one at a time: a read returns within kReadSliceMs,
// so an answer waits no longer than that.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include <asio/post.hpp>

#include "platform/serial/serial_line_settings.h"
#include "platform/utf.h"
#include "platform/windows_text.h"
#include "sim/lines/named_port.h"
#include "sim/system.h"
#include "sim/timer.h"

namespace pyrrow::sim {
namespace {

// A write of an answer (at most 32 bytes) gives up after this long: the
// line has no flow control, so only a broken port takes that long.
constexpr DWORD kWriteTimeoutMs = 1000;
// A read returns as soon as bytes are there, and after this long without.
constexpr DWORD kReadSliceMs = 20;

class ComPort final : public SerialLine {
public:
    explicit ComPort(asio::io_context& io) : m_io(io) {}
    ~ComPort() override
    {
        m_stop.store(true);
        if (m_reader.joinable())
            m_reader.join();
        if (m_port != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_port);
    }

    bool Open(const std::string& name, platform::SystemError* error)
    {
        m_name = name;
        // "\\.\COM10": the device namespace, without which only COM1 to COM9 open.
        const std::wstring wide = platform::ToWide(platform::Utf8ToUtf16Lossy(name));
        const std::wstring path = name.rfind("\\\\", 0) == 0 ? wide : L"\\\\.\\" + wide;
        m_port = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_port == INVALID_HANDLE_VALUE)
            return Fail(error, "cannot open the port " + name);
        using platform::SerialLineFailure;
        if (const auto failed = platform::SetSerialLineSettings(m_port, CBR_115200, platform::SerialEnd::Unit);
            failed != SerialLineFailure::None) {
            *error = Failure(failed == SerialLineFailure::Read ? name + " is no serial port"
                                                               : "cannot set 115200 bit/s 8N1 on " + name);
            return false;
        }
        COMMTIMEOUTS t{MAXDWORD, MAXDWORD, kReadSliceMs, 0, kWriteTimeoutMs};
        if (!::SetCommTimeouts(m_port, &t))
            return Fail(error, "cannot set the time-outs of " + name);
        m_reader = std::thread([this] { ReadPort(); });
        return true;
    }

    const std::string& Where() const override { return m_name; }

    void AwaitBytes(std::function<void()> ready) override
    {
        if (!m_bytes.empty() || m_ended)
            asio::post(m_io, WhileAlive(m_alive, std::move(ready)));
        else
            m_ready = std::move(ready);
    }

    long Read(void* buffer, std::size_t size, platform::SystemError* error) override
    {
        if (!m_bytes.empty()) {
            const std::size_t n = std::min(size, m_bytes.size());
            std::copy_n(m_bytes.begin(), n, static_cast<char*>(buffer));
            m_bytes.erase(0, n);
            return static_cast<long>(n);
        }
        if (!m_ended)
            return 0;
        error->text = m_failure.empty() ? m_name + ": the reader stopped" : m_failure;
        return -1;
    }

    bool Write(const void* data, std::size_t size, platform::SystemError* error) override
    {
        DWORD written = 0;
        if (!::WriteFile(m_port, data, static_cast<DWORD>(size), &written, nullptr))
            return Fail(error, "writing " + m_name);
        if (written == size)
            return true;
        error->text = "writing " + m_name + ": " + std::to_string(written) + " of " + std::to_string(size) +
                      " bytes went out in " + std::to_string(kWriteTimeoutMs) + " ms";
        return false;
    }

    bool Hold(platform::SystemError* error) override
    {
        error->text = "busy needs a pseudo-terminal (Linux): the simulator cannot hold the program's end of " +
                      m_name + "'s pair; open that end with another program instead";
        return false;
    }

private:
    // The reader thread: what each read brings is posted to the io_context;
    // a failure is posted too and ends the thread.
    void ReadPort()
    {
        char buffer[4096];
        while (!m_stop.load()) {
            DWORD n = 0;
            if (!::ReadFile(m_port, buffer, sizeof buffer, &n, nullptr)) {
                Pass({}, Failure("reading " + m_name).text);
                return;
            }
            if (n > 0)
                Pass(std::string(buffer, n), {});
        }
    }

    // On the io_context's thread: the bytes wait for Read, and the unit
    // waiting for them learns of them.
    void Pass(std::string bytes, std::string failure)
    {
        asio::post(m_io, WhileAlive(m_alive, [this, bytes = std::move(bytes), failure = std::move(failure)] {
                       m_bytes += bytes;
                       if (!failure.empty()) {
                           m_failure = failure;
                           m_ended = true;
                       }
                       if (m_ready)
                           std::exchange(m_ready, {})();
                   }));
    }

    asio::io_context& m_io;
    std::string m_name;
    HANDLE m_port = INVALID_HANDLE_VALUE;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
    // Of the io_context's thread only.
    std::shared_ptr<char> m_alive = std::make_shared<char>();
    std::string m_bytes;
    bool m_ended = false;
    std::string m_failure;
    std::function<void()> m_ready;
};

}  // namespace

std::unique_ptr<SerialLine> OpenNamedPort(asio::io_context& io, const std::string& name, platform::SystemError* error)
{
    auto port = std::make_unique<ComPort>(io);
    if (!port->Open(name, error))
        return nullptr;
    return port;
}

}  // namespace pyrrow::sim
