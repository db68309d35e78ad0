#include "ConnectProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void closeSocket(int socket)
{
    if (socket >= 0)
        ::close(socket);
}

// Reads up to the blank line that ends the request's head; empty when the client closes first.
QByteArray readHead(int client)
{
    QByteArray head;
    char byte = 0;
    while (!head.endsWith("\r\n\r\n") && head.size() < 8192 && ::read(client, &byte, 1) == 1)
        head.append(byte);
    return head;
}

void writeAll(int socket, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(socket, data, size);
        if (written <= 0)
            return;
        data += written;
        size -= size_t(written);
    }
}

int connectLoopback(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(port));
    if (socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        return socket;
    closeSocket(socket);
    return -1;
}

} // namespace

ConnectProxy::ConnectProxy()
{
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::listen(m_socket, 16) != 0) {
        closeSocket(m_socket);
        throw std::runtime_error("cannot start the CONNECT proxy on a loopback port");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ConnectProxy::~ConnectProxy()
{
    ::shutdown(m_socket, SHUT_RDWR); // ends the waiting accept
    m_thread.join();
    ::close(m_socket);
}

QString ConnectProxy::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QStringList ConnectProxy::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void ConnectProxy::serve()
{
    for (int client; (client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(client))
        tunnel(client);
}

void ConnectProxy::tunnel(int client)
{
    const QByteArray head = readHead(client);
    const QByteArray requestLine = head.left(head.indexOf("\r\n"));
    {
        std::lock_guard lock(m_mutex);
        m_requests << QString::fromLatin1(requestLine);
    }
    const QList<QByteArray> parts = requestLine.split(' ');
    const int target = parts.value(0) == "CONNECT" && parts.value(1).startsWith("127.0.0.1:")
                           ? connectLoopback(parts.value(1).mid(10).toInt())
                           : -1;
    if (target < 0) {
        const char refusal[] = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n";
        writeAll(client, refusal, sizeof refusal - 1);
        return;
    }
    const char established[] = "HTTP/1.1 200 Connection established\r\n\r\n";
    writeAll(client, established, sizeof established - 1);
    pollfd waits[2] = {{client, POLLIN, 0}, {target, POLLIN, 0}};
    char buffer[16384];
    bool open = true;
    while (open && ::poll(waits, 2, -1) > 0) {
        for (int from = 0; from < 2 && open; ++from) {
            if (!(waits[from].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(waits[from].fd, buffer, sizeof buffer);
            open = got > 0;
            if (open)
                writeAll(waits[1 - from].fd, buffer, size_t(got));
        }
    }
    ::close(target);
}
