#include "transport/ElX509Certificate.h"

#include <ctime>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

QString nameText(const X509_NAME *name)
{
    if (!name)
        return {};
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QString::fromUtf8(data, length);
}

QDateTime asnTime(const ASN1_TIME *time)
{
    struct tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

} // namespace

ElX509Certificate::ElX509Certificate(X509 *certificate, EVP_PKEY *privateKey)
    : m_certificate(certificate, X509_free)
{
    if (privateKey)
        m_privateKey.reset(privateKey, EVP_PKEY_free);
}

QByteArray ElX509Certificate::encoded() const
{
    if (!m_certificate)
        return {};
    unsigned char *der = nullptr;
    const int length = i2d_X509(m_certificate.get(), &der);
    if (length <= 0)
        return {};
    QByteArray result(reinterpret_cast<const char *>(der), length);
    OPENSSL_free(der);
    return result;
}

QByteArray ElX509Certificate::subjectKeyIdentifier() const
{
    const ASN1_OCTET_STRING *keyId = m_certificate ? X509_get0_subject_key_id(m_certificate.get()) : nullptr;
    if (!keyId)
        return {};
    return QByteArray(reinterpret_cast<const char *>(ASN1_STRING_get0_data(keyId)),
                      ASN1_STRING_length(keyId));
}

QString ElX509Certificate::subject() const
{
    return m_certificate ? nameText(X509_get_subject_name(m_certificate.get())) : QString();
}

QString ElX509Certificate::issuer() const
{
    return m_certificate ? nameText(X509_get_issuer_name(m_certificate.get())) : QString();
}

QDateTime ElX509Certificate::notBefore() const
{
    return m_certificate ? asnTime(X509_get0_notBefore(m_certificate.get())) : QDateTime();
}

QDateTime ElX509Certificate::notAfter() const
{
    return m_certificate ? asnTime(X509_get0_notAfter(m_certificate.get())) : QDateTime();
}

bool ElX509Certificate::privateKeyMatches() const
{
    if (!m_certificate || !m_privateKey)
        return false;
    const bool matches = X509_check_private_key(m_certificate.get(), m_privateKey.get()) == 1;
    ERR_clear_error(); // a mismatch leaves its reason in the thread's error queue
    return matches;
}
