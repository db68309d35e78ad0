#pragma once

#include "common/Exception.h"
#include "transport/ElX509Certificate.h"
#include "transport/Pkcs11Token.h"

#include <QList>
#include <QString>
#include <QStringList>

VORN_DECLARE_EXCEPTION(ECertificateStoreError, Exception)

// A view of the current user's certificate stores. A store named N is the folder
// VornImport/certstores/N under the user's data folder ($XDG_DATA_HOME, by default
// ~/.local/share), its name matched without regard to letter case. It holds certificates
// with their private keys: PEM files (".pem", certificate and unencrypted key in one file)
// and PKCS#12 files (".p12", ".pfx") without a password, indexed in file name order.
// A store named by a PKCS#11 URI ("pkcs11:token=VORN") is that token: its certificate objects, whose
// private keys stay on the token and sign there.
class ElWinCertStorage
{
public:
    explicit ElWinCertStorage(QString storesFolder = currentUserStoresFolder());

    static QString currentUserStoresFolder();

    // The folder of the named store; empty when there is none.
    QString storeFolder(const QString &name) const;
    // The certificate files of a store folder, in the order they are indexed.
    static QStringList certificateFiles(const QString &storeFolder);

    // Adds the certificates of the named store; raises ECertificateStoreError when the store
    // does not exist or one of its files cannot be read.
    void addStore(const QString &name);
    // How token stores are reached (module, PIN source); set before addStore.
    void setTokenAccess(const TokenAccess &access) { m_tokenAccess = access; }

    int count() const { return int(m_certificates.size()); }
    // The index of the first certificate whose subject key identifier equals keyId; -1 when none.
    int indexOfSubjectKeyId(const QByteArray &keyId) const;
    const ElX509Certificate &certificate(int index) const { return m_certificates.at(index); }
    // The certificate at index to present in a handshake; raises ETokenError when it is a token's
    // certificate whose private key is not on the token.
    const ElX509Certificate &certificateWithKey(int index) const;

private:
    TokenAccess m_tokenAccess;
    QStringList m_missingKey; // per certificate: why its key is missing, empty when it is there
    QString m_storesFolder;
    QList<ElX509Certificate> m_certificates;
};

// A store file as it stands: its certificate (null when it holds none) with the private key found in it,
// whether or not the key belongs to the certificate. Raises ECertificateStoreError when the file cannot
// be read. Stores index only files whose key belongs to their certificate.
ElX509Certificate readCertificateStoreFile(const QString &path);
// The certificate and key of a PKCS#12 file's bytes opened with password; null when it does not open.
ElX509Certificate parsePkcs12(const QByteArray &bytes, const QByteArray &password);
