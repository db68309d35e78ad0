#pragma once

#include "transport/ElX509Certificate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// A throw-away certificate authority that issues server and client certificates
// (P-256 keys) for tests, and writes them in the file formats of certificate stores.
class TestPki
{
public:
    // The period of a certificate; by default from an hour ago to a year ahead.
    struct Validity
    {
        QDateTime notBefore;
        QDateTime notAfter;
        static Validity fromNow() { return {now().addSecs(-3600), now().addDays(365)}; }
        // Valid since a year, ending at notAfter.
        static Validity until(const QDateTime &notAfter) { return {notAfter.addDays(-365), notAfter}; }
        static QDateTime now() { return QDateTime::currentDateTimeUtc(); }
    };

    explicit TestPki(const QString &authorityName = QStringLiteral("Vorn Test Authority"));

    const ElX509Certificate &authority() const { return m_authority; }

    // A server certificate for the given host names and IP addresses.
    ElX509Certificate issueServer(const QStringList &dnsNames, const QStringList &ipAddresses) const;
    // A client certificate; an empty keyId leaves out the subject key identifier extension.
    ElX509Certificate issueClient(const QString &commonName, const QByteArray &keyId,
                                  const Validity &validity = Validity::fromNow()) const;

    // The certificate in PEM, followed by its private key when withKey is set.
    static QByteArray pem(const ElX509Certificate &certificate, bool withKey);
    // The private key alone in PEM.
    static QByteArray keyPem(const ElX509Certificate &certificate);
    // A PKCS#12 file of the certificate and its key without a password.
    static QByteArray pkcs12(const ElX509Certificate &certificate);

private:
    ElX509Certificate m_authority;
};
