#include "platform/net/tcp_connection.h"

#include <algorithm>
#include <climits>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace pyrrow::platform {

// Each connection waits on an io_context of its own: it is used by one
// thread at a time, and a stop request reaches it through io_context::stop,
// which may be called from any thread.
struct TcpConnection::Parts {
    asio::io_context io;
    asio::ip::tcp::socket socket{io};  // destroyed first: closing it ends what waits on io
};

namespace {

using Clock = std::chrono::steady_clock;

// The reason of a failure: the system's words for a system code (on Windows
// through the system's own message table, not Asio's narrow texts), Asio's
// words for its own (an end of stream).
void Tell(SystemError* error, const std::error_code& code, const std::string& detail = {})
{
    if (code.category() == asio::error::get_system_category())
        SetSystemError(error, code.value(), detail);
    else
        SetErrorText(error, SystemError::Kind::Other, code.message());
}

// Runs io until done() holds, the time is up or a stop is asked, and says
// whether done() holds. The stop reaches a wait that has begun at once.
template <typename Done>
bool RunUntil(asio::io_context& io, Clock::time_point until, const std::stop_token& stop, Done done)
{
    io.restart();
    const std::stop_callback wake(stop, [&io] { io.stop(); });
    // The deadline stands on the monotonic clock: an interrupted wait
    // inside goes on only for what remains of it.
    while (!done() && !io.stopped() && Clock::now() < until)
        io.run_one_until(until);
    return done();
}

// Ends the operation that is still waiting: its handler runs before this
// returns, while what it refers to lives (with operation_aborted, or with
// its result when it completed meanwhile).
void Abandon(asio::ip::tcp::socket& socket, asio::io_context& io)
{
    std::error_code ignored;
    socket.cancel(ignored);
    io.restart();
    io.run();
}

int Clamped(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

}  // namespace

TcpConnection::TcpConnection(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {}

TcpConnection::~TcpConnection() = default;

std::unique_ptr<TcpConnection> TcpConnection::Connect(std::uint32_t address, std::uint16_t port,
                                                      std::chrono::milliseconds timeout, SystemError* error,
                                                      std::stop_token stop)
{
    if (address == 0) {
        SetErrorText(error, SystemError::Kind::NotFound, "0.0.0.0 names no device");
        return nullptr;
    }
    const Clock::time_point until = Clock::now() + timeout;
    try {
        auto parts = std::make_unique<Parts>();
        std::error_code code;
        // A client socket takes no SO_REUSEADDR: its local port is the
        // system's choice.
        parts->socket.open(asio::ip::tcp::v4(), code);
        if (code) {
            Tell(error, code);
            return nullptr;
        }
        // Only the result of the attempt counts: a refused one ends it with
        // the system's reason, however the system signals it.
        std::optional<std::error_code> outcome;
        parts->socket.async_connect(asio::ip::tcp::endpoint(asio::ip::address_v4(address), port),
                                    [&outcome](const std::error_code& result) { outcome = result; });
        if (!RunUntil(parts->io, until, stop, [&outcome] { return outcome.has_value(); })) {
            Abandon(parts->socket, parts->io);
            if (stop.stop_requested())
                SetErrorText(error, SystemError::Kind::Other, "asked to stop");
            else
                SetSystemError(error, static_cast<int>(asio::error::timed_out),
                               "no connection within " + std::to_string(timeout.count()) + " ms");
            return nullptr;
        }
        if (*outcome) {
            Tell(error, *outcome);
            return nullptr;
        }
        parts->socket.non_blocking(true, code);
        if (code) {
            Tell(error, code);
            return nullptr;
        }
        return std::unique_ptr<TcpConnection>(new TcpConnection(std::move(parts)));
    } catch (const std::system_error& e) {
        // The io_context's own descriptors (Linux: epoll, eventfd, timerfd).
        Tell(error, e.code());
    } catch (const std::bad_alloc&) {
        Tell(error, asio::error::make_error_code(asio::error::no_memory));
    }
    return nullptr;
}

int TcpConnection::Send(const void* data, std::size_t size, SystemError* error)
{
    // One call, never repeated: nothing here waits (Asio passes MSG_NOSIGNAL
    // on Linux, and Windows raises no signal).
    std::error_code code;
    const std::size_t sent = m_parts->socket.send(asio::buffer(data, size), 0, code);
    if (!code)
        return Clamped(sent);
    Tell(error, code);
    return -1;
}

namespace {

// What a receive came to, in Receive's results.
int Received(const std::error_code& code, std::size_t got, SystemError* error)
{
    if (!code)
        return Clamped(got);
    if (code == asio::error::eof)
        return 0;
    // Nothing there yet, the call interrupted, the wait ended first.
    if (code == asio::error::would_block || code == asio::error::try_again || code == asio::error::interrupted ||
        code == asio::error::operation_aborted)
        SetErrorText(error, SystemError::Kind::Other, {});
    else
        Tell(error, code);
    return -1;
}

}  // namespace

int TcpConnection::Receive(void* buffer, std::size_t size, SystemError* error)
{
    std::error_code code;
    const std::size_t got = m_parts->socket.receive(asio::buffer(buffer, size), 0, code);
    return Received(code, got, error);
}

int TcpConnection::ReceiveWithin(void* buffer, std::size_t size, std::chrono::milliseconds timeout,
                                 SystemError* error, std::stop_token stop)
{
    Parts& parts = *m_parts;
    // A receive of its own rather than a wait for readiness: Windows
    // signals readiness by a receive of no bytes, which not every Winsock
    // completes when bytes come.
    std::optional<std::error_code> code;
    std::size_t got = 0;
    try {
        parts.socket.async_read_some(asio::buffer(buffer, size), [&](const std::error_code& result, std::size_t n) {
            code = result;
            got = n;
        });
        if (!RunUntil(parts.io, Clock::now() + timeout, stop, [&code] { return code.has_value(); }))
            Abandon(parts.socket, parts.io);  // bytes that came meanwhile are kept all the same
    } catch (const std::system_error& e) {
        Tell(error, e.code());
        return -1;
    } catch (const std::bad_alloc&) {
        Tell(error, asio::error::make_error_code(asio::error::no_memory));
        return -1;
    }
    return Received(code.value_or(asio::error::operation_aborted), got, error);
}

void TcpConnection::Reset()
{
    std::error_code ignored;
    m_parts->socket.set_option(asio::socket_base::linger(true, 0), ignored);
    m_parts->socket.close(ignored);
}

}  // namespace pyrrow::platform
