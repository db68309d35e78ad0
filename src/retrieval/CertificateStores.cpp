#include "retrieval/CertificateStores.h"

#include "common/FileAccess.h"
#include "retrieval/CertificateExpiry.h"
#include "retrieval/ClientCertificateStore.h"

#include <memory>
#include <openssl/pem.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr QFile::Permissions OwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions OwnerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;

StoreListing listFolder(const QString &storesFolder, const QString &name)
{
    StoreListing listing{name, ElWinCertStorage(storesFolder).storeFolder(name), {}, {}};
    if (listing.location.isEmpty()) {
        listing.error =
            QStringLiteral("No such store: no folder %1").arg(QDir::cleanPath(storesFolder + u'/' + name));
        return listing;
    }
    for (const QString &file : ElWinCertStorage::certificateFiles(listing.location)) {
        StoreListing::Entry entry{QFileInfo(file).fileName(), {}, false, {}};
        try {
            entry.certificate = readCertificateStoreFile(file);
            entry.hasKey = entry.certificate.privateKeyMatches();
            if (entry.certificate.isNull())
                entry.problem = QStringLiteral("holds no certificate; the fetch stops at it: remove it");
            else if (!entry.hasKey)
                entry.problem =
                    QStringLiteral("holds no unencrypted private key of its certificate; the fetch "
                                   "stops at it: import it again from its PKCS#12 file");
        } catch (const std::exception &error) {
            entry.problem = QString::fromUtf8(error.what());
        }
        listing.entries.append(entry);
    }
    return listing;
}

StoreListing listToken(const QString &uri, const TokenAccess &access)
{
    StoreListing listing{uri, {}, {}, {}};
    try {
        const Pkcs11Token token(uri, access, false);
        listing.location = QStringLiteral("token ") + token.description();
        for (const TokenCertificate &object : token.certificates()) {
            listing.entries.append({QStringLiteral("object \"%1\" (id %2)")
                                        .arg(object.label, QString::fromLatin1(object.id.toHex())),
                                    object.certificate, object.hasKey,
                                    object.hasKey ? QString() : token.missingKeyMessage(object)});
        }
    } catch (const std::exception &error) {
        listing.error = QString::fromUtf8(error.what());
    }
    return listing;
}

QByteArray pemOf(const ElX509Certificate &certificate)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(bio.get(), certificate.x509());
    PEM_write_bio_PrivateKey(bio.get(), certificate.privateKey(), nullptr, nullptr, 0, nullptr, nullptr);
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, length);
}

// Creates the folder and those above it that are missing below base, for the owner only.
void createOwnerOnlyFolder(const QString &base, const QString &folder)
{
    QString path = QDir::cleanPath(base);
    const QStringList parts = QDir(base).relativeFilePath(folder).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : QStringList{QString()} + parts) {
        if (!part.isEmpty())
            path += u'/' + part;
        if (QFileInfo(path).isDir())
            continue;
        if (!QDir().mkdir(path) || !QFile::setPermissions(path, OwnerOnlyFolder))
            throw ECertificateStoreError(
                QStringLiteral("Cannot create the store folder %1. Check that you may "
                               "write to %2.")
                    .arg(path, QFileInfo(path).absolutePath()));
    }
}

} // namespace

TokenAccess tokenAccessOf(const Settings &settings)
{
    return {settings.PKCS11Module, settings.PKCS11PinFile, settings.FilePath};
}

QString keyIdText(const ElX509Certificate &certificate)
{
    return QString::fromLatin1(certificate.subjectKeyIdentifier().toHex().toUpper());
}

QStringList StoreListing::lines() const
{
    QStringList lines{QStringLiteral("Store %1: %2").arg(name, location.isEmpty() ? error : location)};
    if (!location.isEmpty() && !error.isEmpty())
        lines << QStringLiteral("  ") + error;
    if (error.isEmpty() && entries.isEmpty())
        lines << QStringLiteral("  (no certificates)");
    for (const Entry &entry : entries) {
        lines << QStringLiteral("  ") + entry.object;
        if (!entry.certificate.isNull()) {
            lines << QStringLiteral("    Subject: ") + entry.certificate.subject()
                  << QStringLiteral("    Issuer: ") + entry.certificate.issuer()
                  << QStringLiteral("    Key identifier: ") + keyIdText(entry.certificate)
                  << QStringLiteral("    Valid until: ") + expiryDateText(entry.certificate)
                  << QStringLiteral("    Private key: ") +
                         (entry.hasKey ? QStringLiteral("yes") : QStringLiteral("no"));
        }
        if (!entry.problem.isEmpty())
            lines << QStringLiteral("    Problem: ") + entry.problem;
    }
    return lines;
}

QList<StoreListing> listCertificateStores(const QString &storesFolder, const QString &name,
                                          const TokenAccess &access)
{
    if (Pkcs11Uri::isUri(name))
        return {listToken(name, access)};
    if (!name.isEmpty())
        return {listFolder(storesFolder, name)};
    QList<StoreListing> listings;
    for (const QString &folder : QDir(storesFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        listings.append(listFolder(storesFolder, folder));
    return listings;
}

ElX509Certificate importPkcs12(const QString &storesFolder, const QString &store, const QString &pkcs12File,
                               const QByteArray &password, QString *writtenFile)
{
    if (Pkcs11Uri::isUri(store))
        throw ECertificateStoreError(
            QStringLiteral("%1 is a token: certificates are imported into file stores "
                           "only. Put the key and certificate on the token with the "
                           "token's own tool.")
                .arg(store));
    if (store.isEmpty() || store.contains(u'/') || store == u"." || store == u"..")
        throw ECertificateStoreError(
            QStringLiteral("\"%1\" is no store name: use a plain name such as MY, without \"/\"").arg(store));
    QFile file(pkcs12File);
    if (const QString reason = openRegularFileForReading(file); !reason.isEmpty())
        throw ECertificateStoreError(QStringLiteral("Cannot read %1: %2").arg(pkcs12File, reason));
    const ElX509Certificate certificate = parsePkcs12(file.readAll(), password);
    if (certificate.isNull())
        throw ECertificateStoreError(
            QStringLiteral("%1 does not open as a PKCS#12 file with this password. Check "
                           "the password, or export the certificate again with its key.")
                .arg(pkcs12File));
    if (!certificate.privateKeyMatches())
        throw ECertificateStoreError(
            QStringLiteral("%1 holds the certificate %2 without its private key. Export it "
                           "again together with its private key.")
                .arg(pkcs12File, certificate.subject()));
    if (certificate.subjectKeyIdentifier().isEmpty())
        throw ECertificateStoreError(
            QStringLiteral("The certificate %1 in %2 has no subject key identifier, by "
                           "which the fetch finds it. Ask the issuer for a certificate "
                           "with one.")
                .arg(certificate.subject(), pkcs12File));

    QString folder = ElWinCertStorage(storesFolder).storeFolder(store);
    if (folder.isEmpty())
        folder = QDir(storesFolder).filePath(store);
    // The data folder may be shared; what VornImport creates below it is the user's only.
    const QString dataFolder = QFileInfo(QFileInfo(storesFolder).absolutePath()).absolutePath();
    if (!QDir().mkpath(dataFolder))
        throw ECertificateStoreError(QStringLiteral("Cannot create the folder %1").arg(dataFolder));
    createOwnerOnlyFolder(dataFolder, folder);
    const QString target = QDir(folder).filePath(keyIdText(certificate) + QStringLiteral(".pem"));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(OwnerOnlyFile) ||
        !writeAll(out, pemOf(certificate)) || !out.commit())
        throw ECertificateStoreError(cannotWriteMessage(out));
    if (writtenFile)
        *writtenFile = target;
    return certificate;
}
