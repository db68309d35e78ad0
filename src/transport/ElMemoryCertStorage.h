#pragma once

#include "transport/ElX509Certificate.h"

#include <QList>

// An in-memory list of certificates with their private keys. As the client certificate
// storage of ElHTTPSClient it holds what the client presents in the TLS handshake.
class ElMemoryCertStorage
{
public:
    void clear() { m_certificates.clear(); }
    void add(const ElX509Certificate &certificate) { m_certificates.append(certificate); }
    int count() const { return int(m_certificates.size()); }
    const ElX509Certificate &certificate(int index) const { return m_certificates.at(index); }

private:
    QList<ElX509Certificate> m_certificates;
};
