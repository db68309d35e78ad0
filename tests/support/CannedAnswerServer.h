#pragma once

#include <QByteArray>
#include <thread>

// A plain HTTP server on a free loopback port that answers every request with the same raw bytes and
// closes the connection: an answer no well-behaved server would send (a lying header, a cut body).
class CannedAnswerServer
{
public:
    explicit CannedAnswerServer(QByteArray answer);
    ~CannedAnswerServer();

    // http://127.0.0.1:<port><path>
    QString url(const QString &path) const;

    CannedAnswerServer(const CannedAnswerServer &) = delete;
    CannedAnswerServer &operator=(const CannedAnswerServer &) = delete;

private:
    void serve();

    QByteArray m_answer;
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};
