#include "TestPki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

void check(bool ok, const char *what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

EVP_PKEY *newKey()
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    check(key, "key generation");
    return key;
}

void addExtension(X509 *certificate, X509 *issuer, int nid, const QByteArray &value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    check(extension, value.constData());
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

struct Request
{
    QString commonName;
    QByteArray keyId;    // empty: no subject key identifier extension
    QByteArray altNames; // empty: no subject alternative names
    bool authority = false;
    bool server = false;
    TestPki::Validity validity = TestPki::Validity::fromNow();
};

void setTime(ASN1_TIME *time, const QDateTime &when)
{
    check(ASN1_TIME_set(time, time_t(when.toSecsSinceEpoch())), "validity");
}

ElX509Certificate issue(const Request &request, const ElX509Certificate *issuer)
{
    static long serial = 1;
    EVP_PKEY *key = newKey();
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), ++serial);
    setTime(X509_getm_notBefore(certificate), request.validity.notBefore);
    setTime(X509_getm_notAfter(certificate), request.validity.notAfter);
    X509_NAME *name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("Vorn Test"),
                               -1, -1, 0);
    const QByteArray commonName = request.commonName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>(commonName.constData()), -1, -1, 0);
    X509 *issuerCertificate = issuer ? issuer->x509() : certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(issuerCertificate));
    X509_set_pubkey(certificate, key);

    addExtension(certificate, issuerCertificate, NID_basic_constraints,
                 request.authority ? "critical,CA:TRUE" : "CA:FALSE");
    addExtension(certificate, issuerCertificate, NID_key_usage,
                 request.authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    if (!request.authority)
        addExtension(certificate, issuerCertificate, NID_ext_key_usage,
                     request.server ? "serverAuth" : "clientAuth");
    if (!request.keyId.isEmpty())
        addExtension(certificate, issuerCertificate, NID_subject_key_identifier, request.keyId.toHex(':'));
    if (issuer && !issuer->subjectKeyIdentifier().isEmpty())
        addExtension(certificate, issuerCertificate, NID_authority_key_identifier, "keyid:always");
    if (!request.altNames.isEmpty())
        addExtension(certificate, issuerCertificate, NID_subject_alt_name, request.altNames);

    check(X509_sign(certificate, issuer ? issuer->privateKey() : key, EVP_sha256()) > 0, "signing");
    return ElX509Certificate(certificate, key);
}

QByteArray bioBytes(BIO *bio)
{
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    QByteArray bytes(data, length);
    BIO_free(bio);
    return bytes;
}

} // namespace

TestPki::TestPki(const QString &authorityName)
    : m_authority(
          issue({authorityName, QByteArray::fromHex("A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3"), {}, true},
                nullptr))
{
}

ElX509Certificate TestPki::issueServer(const QStringList &dnsNames, const QStringList &ipAddresses) const
{
    QStringList altNames;
    for (const QString &dns : dnsNames)
        altNames << QStringLiteral("DNS:") + dns;
    for (const QString &ip : ipAddresses)
        altNames << QStringLiteral("IP:") + ip;
    return issue({dnsNames.value(0, ipAddresses.value(0)), QByteArray::fromHex("5E5E5E5E"),
                  altNames.join(u',').toUtf8(), false, true},
                 &m_authority);
}

ElX509Certificate TestPki::issueClient(const QString &commonName, const QByteArray &keyId,
                                       const Validity &validity) const
{
    return issue({commonName, keyId, {}, false, false, validity}, &m_authority);
}

QByteArray TestPki::pem(const ElX509Certificate &certificate, bool withKey)
{
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate.x509());
    QByteArray bytes = bioBytes(bio);
    return withKey ? bytes + keyPem(certificate) : bytes;
}

QByteArray TestPki::keyPem(const ElX509Certificate &certificate)
{
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, certificate.privateKey(), nullptr, nullptr, 0, nullptr, nullptr);
    return bioBytes(bio);
}

QByteArray TestPki::pkcs12(const ElX509Certificate &certificate)
{
    PKCS12 *pkcs12 =
        PKCS12_create("", "client", certificate.privateKey(), certificate.x509(), nullptr, 0, 0, 0, 0, 0);
    check(pkcs12, "PKCS#12");
    BIO *bio = BIO_new(BIO_s_mem());
    i2d_PKCS12_bio(bio, pkcs12);
    PKCS12_free(pkcs12);
    return bioBytes(bio);
}
