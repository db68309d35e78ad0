#include "SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Binds a TCP socket to 127.0.0.1 on a port the system chooses; returns the socket.
int bindLoopback(int &port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (socket >= 0)
            ::close(socket);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    port = ntohs(address.sin_port);
    return socket;
}

} // namespace

SilentListener::SilentListener() : m_socket(bindLoopback(m_port))
{
    if (::listen(m_socket, 64) != 0) {
        ::close(m_socket);
        throw std::runtime_error("cannot listen on a loopback socket");
    }
}

SilentListener::~SilentListener()
{
    ::close(m_socket);
}

int SilentListener::freePort()
{
    int port = 0;
    ::close(bindLoopback(port));
    return port;
}
