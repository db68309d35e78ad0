#include "retrieval/ClientCertificateStore.h"

#include "common/FileAccess.h"

#include <memory>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

QString openSslErrors()
{
    QStringList texts;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        texts << QString::fromLatin1(text);
    }
    return texts.isEmpty() ? QStringLiteral("not a certificate with its private key")
                           : texts.join(QStringLiteral("; "));
}

using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

Bio memoryBio(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())), BIO_free);
}

// A key that asks for a password counts as unreadable instead of prompting on a terminal.
int refusePassword(char *, int, int, void *)
{
    return -1;
}

ElX509Certificate readPem(const QByteArray &bytes)
{
    X509 *certificate = PEM_read_bio_X509(memoryBio(bytes).get(), nullptr, refusePassword, nullptr);
    EVP_PKEY *key = PEM_read_bio_PrivateKey(memoryBio(bytes).get(), nullptr, refusePassword, nullptr);
    return ElX509Certificate(certificate, key);
}

} // namespace

ElX509Certificate parsePkcs12(const QByteArray &bytes, const QByteArray &password)
{
    // Certificates exported from other systems often use algorithms of the legacy provider. It is
    // loaded once and unloaded at exit, before OpenSSL's own clean-up.
    static const std::unique_ptr<OSSL_PROVIDER, decltype(&OSSL_PROVIDER_unload)> legacy(
        OSSL_PROVIDER_try_load(nullptr, "legacy", 1), OSSL_PROVIDER_unload);

    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> pkcs12(d2i_PKCS12_bio(memoryBio(bytes).get(), nullptr),
                                                           PKCS12_free);
    X509 *certificate = nullptr;
    EVP_PKEY *key = nullptr;
    if (pkcs12)
        PKCS12_parse(pkcs12.get(), password.constData(), &key, &certificate, nullptr);
    return ElX509Certificate(certificate, key);
}

namespace {

ElX509Certificate readCertificateFile(const QString &path)
{
    const ElX509Certificate certificate = readCertificateStoreFile(path);
    if (!certificate.isNull() && certificate.privateKeyMatches())
        return certificate;
    const QString reason = openSslErrors();
    throw ECertificateStoreError(QStringLiteral("Certificate file %1 does not hold a certificate with its "
                                                "unencrypted private key (%2)")
                                     .arg(path, reason));
}

} // namespace

ElX509Certificate readCertificateStoreFile(const QString &path)
{
    QFile file(path);
    if (const QString reason = openRegularFileForReading(file); !reason.isEmpty())
        throw ECertificateStoreError(QStringLiteral("Cannot read certificate file %1: %2").arg(path, reason));
    const QByteArray bytes = file.readAll();

    ERR_clear_error();
    return path.endsWith(QLatin1String(".pem"), Qt::CaseInsensitive) ? readPem(bytes)
                                                                     : parsePkcs12(bytes, "");
}

ElWinCertStorage::ElWinCertStorage(QString storesFolder) : m_storesFolder(std::move(storesFolder)) {}

QString ElWinCertStorage::currentUserStoresFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/VornImport/certstores");
}

QString ElWinCertStorage::storeFolder(const QString &name) const
{
    const QDir stores(m_storesFolder);
    const QStringList folders = stores.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &candidate : folders) {
        if (!name.isEmpty() && candidate.compare(name, Qt::CaseInsensitive) == 0)
            return stores.filePath(candidate);
    }
    return {};
}

QStringList ElWinCertStorage::certificateFiles(const QString &storeFolder)
{
    const QDir store(storeFolder);
    const QStringList names = store.entryList(
        {QStringLiteral("*.pem"), QStringLiteral("*.p12"), QStringLiteral("*.pfx")}, QDir::Files, QDir::Name);
    QStringList paths;
    for (const QString &name : names)
        paths << store.filePath(name);
    return paths;
}

void ElWinCertStorage::addStore(const QString &name)
{
    if (Pkcs11Uri::isUri(name)) {
        const Pkcs11Token token(name, m_tokenAccess);
        for (const TokenCertificate &object : token.certificates()) {
            m_certificates.append(object.certificate);
            m_missingKey.append(object.hasKey ? QString() : token.missingKeyMessage(object));
        }
        return;
    }
    const QString folder = storeFolder(name);
    if (folder.isEmpty())
        throw ECertificateStoreError(QStringLiteral("Certificate store \"%1\" does not exist: no folder %2")
                                         .arg(name, QDir::cleanPath(QDir(m_storesFolder).filePath(name))));
    for (const QString &file : certificateFiles(folder))
        m_certificates.append(readCertificateFile(file));
    while (m_missingKey.size() < m_certificates.size())
        m_missingKey.append(QString());
}

const ElX509Certificate &ElWinCertStorage::certificateWithKey(int index) const
{
    if (!m_missingKey.value(index).isEmpty())
        throw ETokenError(m_missingKey.at(index));
    return m_certificates.at(index);
}

int ElWinCertStorage::indexOfSubjectKeyId(const QByteArray &keyId) const
{
    // An empty key would otherwise match every certificate without the extension.
    if (keyId.isEmpty())
        return -1;
    for (int i = 0; i < count(); ++i)
        if (m_certificates.at(i).subjectKeyIdentifier() == keyId)
            return i;
    return -1;
}
