#pragma once

#include <memory>
#include <openssl/types.h>
#include <QByteArray>
#include <QDateTime>
#include <QString>

// An X.509 certificate, with the private key that belongs to it where one is held.
// Copies share the underlying OpenSSL objects.
class ElX509Certificate
{
public:
    ElX509Certificate() = default;
    // Takes over one reference of each; the private key may be null.
    ElX509Certificate(X509 *certificate, EVP_PKEY *privateKey);

    bool isNull() const { return !m_certificate; }
    // The DER encoding; empty for a null certificate.
    QByteArray encoded() const;
    // The bytes of the subject key identifier extension; empty when there is none.
    QByteArray subjectKeyIdentifier() const;
    QString subject() const;
    QString issuer() const;
    // The period of validity, in UTC; invalid for a null certificate.
    QDateTime notBefore() const;
    QDateTime notAfter() const;
    // True when a private key is held and it belongs to the certificate's public key.
    bool privateKeyMatches() const;

    X509 *x509() const { return m_certificate.get(); }
    EVP_PKEY *privateKey() const { return m_privateKey.get(); }

private:
    std::shared_ptr<X509> m_certificate;
    std::shared_ptr<EVP_PKEY> m_privateKey;
};
