#include <winsock2.h>

#include "sim/socket_pair.h"
#include "sim/windows_error.h"

namespace pyrrow::sim {

SocketPair MakeSocketPair(std::string* error)
{
    SocketPair pair;
    WSADATA data{};
    if (const int r = ::WSAStartup(MAKEWORD(2, 2), &data); r != 0) {
        *error = "cannot start Winsock: " + WindowsErrorText(static_cast<unsigned long>(r));
        return pair;
    }
    // A listener on a port the system chooses, connected to once and closed.
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET writer = INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long on = 1;
    const bool made = listener != INVALID_SOCKET &&
                      ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      ::listen(listener, 1) == 0 &&
                      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                      (writer = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) != INVALID_SOCKET &&
                      ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      (reader = ::accept(listener, nullptr, nullptr)) != INVALID_SOCKET &&
                      ::ioctlsocket(reader, static_cast<long>(FIONBIO), &on) == 0;
    const int e = ::WSAGetLastError();
    if (listener != INVALID_SOCKET)
        ::closesocket(listener);
    if (!made) {
        *error = "cannot connect two loopback sockets: " + WindowsErrorText(static_cast<unsigned long>(e));
        if (writer != INVALID_SOCKET)
            ::closesocket(writer);
        if (reader != INVALID_SOCKET)
            ::closesocket(reader);
        return pair;
    }
    pair.reader = static_cast<int>(reader);
    pair.writer = static_cast<int>(writer);
    return pair;
}

void CloseSocket(int fd)
{
    if (fd >= 0)
        ::closesocket(static_cast<SOCKET>(fd));
}

}  // namespace pyrrow::sim
