// A loopback listener whose queue of connections is full (POSIX): the kernel
// drops further connection attempts, so a connect to it waits for its time-out.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include <gtest/gtest.h>

namespace pyrrow::test {

class FullListener {
public:
    FullListener()
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_filler, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
            ADD_FAILURE() << "the listener's queue was not filled";
        m_port = ntohs(at.sin_port);
    }
    ~FullListener()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    std::uint16_t m_port = 0;
};

}  // namespace pyrrow::test
