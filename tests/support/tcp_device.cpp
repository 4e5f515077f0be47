#include "support/tcp_device.h"

#include <algorithm>
#include <stdexcept>

#include "support/test_socket.h"

namespace pyrrow::test {
namespace {

// Receives exactly size bytes (or fewer when the peer goes away or 10 s pass).
std::string ReceiveExactly(int fd, std::size_t size)
{
    std::string got;
    char buffer[4096];
    while (got.size() < size) {
        if (!sockets::WaitReadable(fd, 10000))
            break;
        const long n = sockets::Receive(fd, buffer, std::min(sizeof buffer, size - got.size()));
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

}  // namespace

std::uint16_t UnusedLoopbackPort()
{
    sockets::Start();
    std::uint16_t port = 0;
    const int fd = sockets::ListenOnLoopback(&port);
    if (fd >= 0)
        sockets::Close(fd);
    sockets::Stop();
    return port;
}

std::vector<TcpScript::Piece> Echo(const std::string& header, unsigned char status28, unsigned char status29)
{
    std::string answer = header;
    answer[28] = static_cast<char>(status28);
    answer[29] = static_cast<char>(status29);
    return {{std::chrono::milliseconds(0), answer}};
}

TcpDevice::TcpDevice(TcpScript script) : m_script(std::move(script))
{
    sockets::Start();
    m_listener = sockets::ListenOnLoopback(&m_port);
    if (m_listener < 0) {
        sockets::Stop();
        throw std::runtime_error("no listener");
    }
    m_thread = std::thread([this] { Run(); });
}

TcpDevice::~TcpDevice()
{
    Finish();
    sockets::Stop();
}

std::string TcpDevice::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        sockets::Close(m_listener);
    m_listener = -1;
    return m_received;
}

std::vector<std::uint16_t> TcpDevice::Counters()
{
    Finish();
    return m_counters;
}

void TcpDevice::Run()
{
    if (!sockets::WaitReadable(m_listener, 10000))
        return;
    const int fd = sockets::Accept(m_listener);
    if (fd < 0)
        return;
    auto finish = [this, fd] { sockets::Close(fd, m_script.reset); };
    if (m_script.closeAtAccept) {
        finish();
        return;
    }
    const std::string header = ReceiveExactly(fd, 32);
    m_received = header;
    if (header.size() < 32 || !m_script.answer) {
        finish();
        return;
    }
    const auto pieces = m_script.answer(header);
    for (const auto& piece : pieces) {
        std::this_thread::sleep_for(piece.delay);
        sockets::Send(fd, piece.bytes);
    }

    std::size_t left = m_script.dataBytes;
    long frames = 0;
    while (left > 0) {
        const std::size_t data = std::min<std::size_t>(left, 1024);
        const std::string frame = ReceiveExactly(fd, data + 2);
        m_received += frame;
        if (frame.size() < data + 2)
            break;
        m_counters.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(frame[0]) |
                                                        static_cast<unsigned char>(frame[1]) << 8));
        left -= data;
        ++frames;
        if (frames == m_script.closeAfterFrames)
            break;
        if (!m_script.acknowledgement.empty())
            sockets::Send(fd, m_script.acknowledgement);
    }
    if (m_script.closeAfterFrames < 0) {
        // Wait for the program to close its end, so nothing it sends is lost.
        char rest[256];
        while (sockets::WaitReadable(fd, 3000) && sockets::Receive(fd, rest, sizeof rest) > 0)
            m_received.append(rest, 0);
    }
    finish();
}

}  // namespace pyrrow::test
