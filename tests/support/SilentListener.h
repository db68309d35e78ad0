#pragma once

#include <QByteArray>

// A TCP socket on a free loopback port that listens but never answers: the kernel accepts
// connections into its backlog and nothing is ever read or written. Stands in for a
// server that hangs.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();

    int port() const { return m_port; }

    // A port that was free on 127.0.0.1 a moment ago.
    static int freePort();

    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

private:
    int m_port = 0; // set while m_socket is initialised
    int m_socket = -1;
};
