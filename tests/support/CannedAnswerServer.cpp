#include "CannedAnswerServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <QString>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

CannedAnswerServer::CannedAnswerServer(QByteArray answer) : m_answer(std::move(answer))
{
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::listen(m_socket, 8) != 0)
        throw std::runtime_error("cannot listen on a loopback socket");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

CannedAnswerServer::~CannedAnswerServer()
{
    ::shutdown(m_socket, SHUT_RDWR); // ends the accept
    m_thread.join();
    ::close(m_socket);
}

QString CannedAnswerServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void CannedAnswerServer::serve()
{
    for (;;) {
        const int connection = ::accept(m_socket, nullptr, nullptr);
        if (connection < 0)
            return;
        // The request up to its empty line, then the answer.
        QByteArray request;
        char buffer[4096];
        ssize_t got = 0;
        while (!request.contains("\r\n\r\n") && (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0)
            request.append(buffer, got);
        for (qsizetype sent = 0; sent < m_answer.size();) {
            const ssize_t written =
                ::send(connection, m_answer.constData() + sent, size_t(m_answer.size() - sent), MSG_NOSIGNAL);
            if (written <= 0)
                break;
            sent += written;
        }
        ::close(connection);
    }
}
