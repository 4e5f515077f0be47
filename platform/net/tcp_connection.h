// A TCP connection as the TCP transport and the station's probe need it: one
// connection attempt within a time-out, then a non-blocking socket whose
// send and receive never wait, and a receive that waits for bytes. A wait
// ends at its deadline on the monotonic clock, and at once when its stop
// token is asked to stop. One portable source on standalone Asio, whose
// types stay out of this header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>

#include "platform/system_error.h"

namespace pyrrow::platform {

class TcpConnection {
public:
    // Connects to an IPv4 address (first octet in the most significant byte)
    // and port, waiting at most timeout. Only a confirmed connection counts:
    // a refused or failed attempt, a time-out and 0.0.0.0 (which names no
    // device) give null, and error (may be null) gets the reason; a host
    // that lacks descriptors or memory gives the kind Host. A stop request
    // ends the wait at once with null; the caller looks at stop.
    static std::unique_ptr<TcpConnection> Connect(std::uint32_t address, std::uint16_t port,
                                                  std::chrono::milliseconds timeout, SystemError* error = nullptr,
                                                  std::stop_token stop = {});

    // An orderly close.
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Sends what the connection takes at once: the count sent, or -1 when
    // nothing could be sent (error has why). Never raises SIGPIPE.
    int Send(const void* data, std::size_t size, SystemError* error = nullptr);

    // Takes what is waiting: the count, 0 when the peer closed the
    // connection, -1 on an error (a reset among them: error then has the
    // system's code and words) or when nothing is waiting (error then has
    // code 0 with the kind Other and an empty text; an interrupted call
    // counts as nothing waiting).
    int Receive(void* buffer, std::size_t size, SystemError* error = nullptr);

    // Receive that waits at most timeout for bytes to come, and takes them
    // the moment they do; the same results, a time-out or a stop request
    // counting as nothing waiting.
    int ReceiveWithin(void* buffer, std::size_t size, std::chrono::milliseconds timeout, SystemError* error = nullptr,
                      std::stop_token stop = {});

    // Ends the connection with a reset (SO_LINGER 0) instead of an orderly
    // close, so that the peer sees it cut short. Nothing works after it.
    void Reset();

private:
    struct Parts;
    explicit TcpConnection(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> m_parts;
};

}  // namespace pyrrow::platform
