#include "support/tcp_device.h"

#include <algorithm>
#include <optional>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/write.hpp>

namespace pyrrow::test {

using asio::ip::tcp;

struct TcpDevice::Parts {
    asio::io_context io;
    std::optional<tcp::acceptor> listener;
};

namespace {

// A listener on 127.0.0.1 at a port the system chooses, without
// SO_REUSEADDR (on Windows it would let another program take the port).
tcp::acceptor LoopbackListener(asio::io_context& io)
{
    const tcp::endpoint loopback(asio::ip::address_v4::loopback(), 0);
    tcp::acceptor listener(io);
    listener.open(loopback.protocol());
    listener.bind(loopback);
    listener.listen(1);
    return listener;
}

// Runs the operation just started on what until it is done (done is set)
// or timeout passes; then it is cancelled, and its handler runs before this
// returns.
template <typename Cancellable>
void Await(asio::io_context& io, Cancellable& what, const std::optional<std::error_code>& done,
           std::chrono::milliseconds timeout)
{
    io.restart();
    io.run_for(timeout);
    if (!done) {
        std::error_code ignored;
        what.cancel(ignored);
        io.restart();
        io.run();
    }
}

// Receives exactly size bytes, or fewer when the peer goes away (end says
// how) or nothing comes for patience.
std::string ReceiveExactly(asio::io_context& io, tcp::socket& s, std::size_t size, TcpDevice::End& end,
                           std::chrono::milliseconds patience = std::chrono::seconds(10))
{
    std::string got;
    char buffer[4096];
    while (got.size() < size) {
        std::optional<std::error_code> e;
        std::size_t n = 0;
        s.async_read_some(asio::buffer(buffer, std::min(sizeof buffer, size - got.size())),
                          [&](const std::error_code& result, std::size_t count) {
                              e = result;
                              n = count;
                          });
        Await(io, s, e, patience);
        got.append(buffer, n);
        if (*e) {
            end = *e == asio::error::eof ? TcpDevice::End::Closed
                  : *e == asio::error::connection_reset ? TcpDevice::End::Reset
                                                        : end;
            break;
        }
    }
    return got;
}

void Send(tcp::socket& s, const std::string& bytes)
{
    std::error_code ignored;
    asio::write(s, asio::buffer(bytes), ignored);
}

}  // namespace

std::uint16_t UnusedLoopbackPort()
{
    asio::io_context io;
    return LoopbackListener(io).local_endpoint().port();
}

std::vector<TcpScript::Piece> Echo(const std::string& header, unsigned char status28, unsigned char status29)
{
    std::string answer = header;
    answer[28] = static_cast<char>(status28);
    answer[29] = static_cast<char>(status29);
    return {{std::chrono::milliseconds(0), answer}};
}

TcpDevice::TcpDevice(TcpScript script) : m_script(std::move(script)), m_parts(std::make_unique<Parts>())
{
    m_parts->listener.emplace(LoopbackListener(m_parts->io));
    m_port = m_parts->listener->local_endpoint().port();
    m_thread = std::thread([this] { Run(); });
}

TcpDevice::~TcpDevice()
{
    Finish();
}

std::string TcpDevice::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_parts->listener.reset();
    return m_received;
}

std::vector<std::uint16_t> TcpDevice::Counters()
{
    Finish();
    return m_counters;
}

TcpDevice::End TcpDevice::Ending()
{
    Finish();
    return m_end;
}

void TcpDevice::Run()
{
    asio::io_context& io = m_parts->io;
    tcp::socket s(io);
    std::optional<std::error_code> accepted;
    m_parts->listener->async_accept(s, [&accepted](const std::error_code& result) { accepted = result; });
    Await(io, *m_parts->listener, accepted, std::chrono::seconds(10));
    if (*accepted)
        return;
    auto finish = [this, &s] {
        std::error_code ignored;
        if (m_script.reset)
            s.set_option(asio::socket_base::linger(true, 0), ignored);
        s.close(ignored);
    };
    if (m_script.closeAtAccept) {
        finish();
        return;
    }
    const std::string header = ReceiveExactly(io, s, 32, m_end);
    m_received = header;
    if (header.size() < 32 || !m_script.answer) {
        finish();
        return;
    }
    const auto pieces = m_script.answer(header);
    for (const auto& piece : pieces) {
        std::this_thread::sleep_for(piece.delay);
        Send(s, piece.bytes);
    }

    std::size_t left = m_script.dataBytes;
    long frames = 0;
    while (left > 0) {
        const std::size_t data = std::min<std::size_t>(left, 1024);
        const std::string frame = ReceiveExactly(io, s, data + 2, m_end);
        m_received += frame;
        if (frame.size() < data + 2)
            break;
        m_counters.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(frame[0]) |
                                                        static_cast<unsigned char>(frame[1]) << 8));
        left -= data;
        ++frames;
        if (frames == m_script.closeAfterFrames)
            break;
        const std::string& ack = m_script.acknowledgement;
        if (m_script.acknowledgementGap.count() >= 0 && ack.size() > 1) {
            Send(s, ack.substr(0, ack.size() / 2));
            std::this_thread::sleep_for(m_script.acknowledgementGap);
            Send(s, ack.substr(ack.size() / 2));
        } else if (!ack.empty()) {
            Send(s, ack);
        }
    }
    if (m_script.closeAfterFrames < 0 && m_end == End::NotSeen) {
        // Wait for the program to close its end, so nothing it sends is lost.
        ReceiveExactly(io, s, std::string::npos, m_end, std::chrono::seconds(3));
    }
    finish();
}

}  // namespace pyrrow::test
