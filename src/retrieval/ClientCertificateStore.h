#pragma once

#include "common/Exception.h"
#include "transport/ElX509Certificate.h"

#include <QList>
#include <QString>
#include <QStringList>

VORN_DECLARE_EXCEPTION(ECertificateStoreError, Exception)

// A view of the current user's certificate stores. A store named N is the folder
// VornImport/certstores/N under the user's data folder ($XDG_DATA_HOME, by default
// ~/.local/share), its name matched without regard to letter case. It holds certificates
// with their private keys: PEM files (".pem", certificate and unencrypted key in one file)
// and PKCS#12 files (".p12", ".pfx") without a password, indexed in file name order.
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

    int count() const { return int(m_certificates.size()); }
    // The index of the first certificate whose subject key identifier equals keyId; -1 when none.
    int indexOfSubjectKeyId(const QByteArray &keyId) const;
    const ElX509Certificate &certificate(int index) const { return m_certificates.at(index); }

private:
    QString m_storesFolder;
    QList<ElX509Certificate> m_certificates;
};

// A store file as it stands: its certificate (null when it holds none) with the private key found in it,
// whether or not the key belongs to the certificate. Raises ECertificateStoreError when the file cannot
// be read. Stores index only files whose key belongs to their certificate.
ElX509Certificate readCertificateStoreFile(const QString &path);
