#include "transport/ElX509Certificate.h"

#include <openssl/bio.h>
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
