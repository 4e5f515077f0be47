#include "support/tcp_device.h"

#include <winsock2.h>

#include <stdexcept>

// The Winsock build of the scripted TCP device: the same script, with
// sockets held as the header's int.
namespace pyrrow::test {
namespace {

SOCKET Sock(int fd)
{
    return static_cast<SOCKET>(fd);
}

int Poll(int fd, short events, int timeoutMs)
{
    WSAPOLLFD p{Sock(fd), events, 0};
    return ::WSAPoll(&p, 1, timeoutMs);
}

// Receives exactly size bytes (or fewer when the peer goes away or 10 s pass).
std::string ReceiveExactly(int fd, std::size_t size)
{
    std::string got;
    char buffer[4096];
    while (got.size() < size) {
        if (Poll(fd, POLLRDNORM, 10000) <= 0)
            break;
        const int n = ::recv(Sock(fd), buffer, static_cast<int>(std::min(sizeof buffer, size - got.size())), 0);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void SendAll(int fd, const std::string& bytes)
{
    [[maybe_unused]] const int n = ::send(Sock(fd), bytes.data(), static_cast<int>(bytes.size()), 0);
}

}  // namespace

std::uint16_t UnusedLoopbackPort()
{
    WSADATA data{};
    if (::WSAStartup(0x0202, &data) != 0)
        throw std::runtime_error("no Winsock");
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(s);
    ::WSACleanup();
    return ntohs(address.sin_port);
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
    WSADATA data{};
    if (::WSAStartup(0x0202, &data) != 0)
        throw std::runtime_error("no Winsock");
    m_listener = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(Sock(m_listener), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(Sock(m_listener), 1) != 0 ||
        ::getsockname(Sock(m_listener), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no listener");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

TcpDevice::~TcpDevice()
{
    Finish();
    ::WSACleanup();
}

std::string TcpDevice::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::closesocket(Sock(m_listener));
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
    if (Poll(m_listener, POLLRDNORM, 10000) <= 0)
        return;
    const SOCKET accepted = ::accept(Sock(m_listener), nullptr, nullptr);
    if (accepted == INVALID_SOCKET)
        return;
    const int fd = static_cast<int>(accepted);
    auto finish = [this, fd] {
        if (m_script.reset) {
            const linger abortive{1, 0};
            ::setsockopt(Sock(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
        }
        ::closesocket(Sock(fd));
    };
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
        SendAll(fd, piece.bytes);
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
            SendAll(fd, m_script.acknowledgement);
    }
    if (m_script.closeAfterFrames < 0) {
        // Wait for the program to close its end, so nothing it sends is lost.
        char rest[256];
        while (Poll(fd, POLLRDNORM, 3000) > 0 && ::recv(Sock(fd), rest, sizeof rest, 0) > 0)
            m_received.append(rest, 0);
    }
    finish();
}

}  // namespace pyrrow::test
