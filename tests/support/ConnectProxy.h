#pragma once

#include <mutex>
#include <QString>
#include <QStringList>
#include <thread>

// An HTTP proxy on a free loopback port that serves CONNECT tunnels only, one connection at a time,
// on a thread of its own: it logs each request line ("CONNECT 127.0.0.1:8443 HTTP/1.1"), connects to
// the named loopback port, answers "200 Connection established" and relays the bytes both ways until
// either side closes. Anything else gets "405 Method Not Allowed". Stopped with the object.
class ConnectProxy
{
public:
    ConnectProxy();
    ~ConnectProxy();

    // http://127.0.0.1:<port>
    QString url() const;
    // The request lines received so far, in order.
    QStringList requests() const;

    ConnectProxy(const ConnectProxy &) = delete;
    ConnectProxy &operator=(const ConnectProxy &) = delete;

private:
    void serve();
    void tunnel(int client);

    int m_port = 0;
    int m_socket = -1;
    mutable std::mutex m_mutex;
    QStringList m_requests;
    std::thread m_thread;
};
