#pragma once

#include "host/Settings.h"
#include "transport/ElX509Certificate.h"
#include "transport/Pkcs11Token.h"

#include <QList>
#include <QString>
#include <QStringList>

// The certificate stores as an administrator manages them: listing them and importing a PKCS#12
// file into a file store.

// How token stores are reached, from the settings PKCS11Module and PKCS11PinFile.
TokenAccess tokenAccessOf(const Settings &settings);

// The key identifier as the host configuration takes it: upper-case hexadecimal, two digits a byte.
QString keyIdText(const ElX509Certificate &certificate);

// One store with its certificates, or the reason it cannot be read.
struct StoreListing
{
    struct Entry
    {
        QString object; // the file, or the token object
        ElX509Certificate certificate;
        bool hasKey = false;
        QString problem; // why the entry cannot be used; empty when it can
    };

    QString name;
    QString location; // the folder, or the token
    QList<Entry> entries;
    QString error;

    // The listing for a console: the store, then per certificate its object, subject, issuer, key
    // identifier, end date and whether its private key is there.
    QStringList lines() const;
};

// The named store (a folder's name or a PKCS#11 URI), or, for an empty name, every store folder.
QList<StoreListing> listCertificateStores(const QString &storesFolder, const QString &name,
                                          const TokenAccess &access);

// Imports the certificate and private key of a PKCS#12 file, opened with password, into the file
// store named store (created with the folders above it, for the user only: folders 700, file 600) as
// <key identifier>.pem, whole or not at all. Returns the certificate. Raises ECertificateStoreError
// saying what to do when the file does not open, lacks a key identifier or a key, or the store is a token.
ElX509Certificate importPkcs12(const QString &storesFolder, const QString &store, const QString &pkcs12File,
                               const QByteArray &password, QString *writtenFile = nullptr);
