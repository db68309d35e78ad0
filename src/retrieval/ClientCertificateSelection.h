#pragma once

#include "retrieval/ClientCertificateStore.h"

#include <memory>
#include <QByteArray>
#include <QString>

class ElMemoryCertStorage;
class Messenger;

// The endpoint's store holds no certificate with its subject key identifier, or one without data.
VORN_DECLARE_EXCEPTION(ECertificateNotFound, Exception)

// The fields of a fetch's current endpoint that the certificate selection reads and logs.
struct CertificateEndpoint
{
    QString vornProtocol;
    QString vornUri;
    QString vornMemberCode;
    QString certificateSubjectKeyID; // hexadecimal, two digits per byte, first byte first
    QString certificatePath;
    QString certificateStorage; // the name of the store
};

// Decodes hexadecimal text two digits at a time; an odd last digit is ignored. A pair that
// is not hexadecimal raises EConvertError.
QByteArray decodeSubjectKeyID(const QString &hex);

// Puts the member's client certificate into the client certificate storage of the HTTPS
// client before each request.
class ClientCertificateSelection
{
public:
    ClientCertificateSelection(ElMemoryCertStorage &clientStorage, Messenger &messenger,
                               QString storesFolder = ElWinCertStorage::currentUserStoresFolder());

    // Opens the endpoint's store, finds the certificate by its subject key identifier and
    // makes it the only one of the client storage. When none is found, or the one found has
    // no data, the client storage is emptied and ECertificateNotFound names the identifier
    // and the store. remoteMemberText is the text of the member box.
    void PrepareClientCertificate(const CertificateEndpoint &endpoint, const QString &remoteMemberText);

    // How token stores (PKCS#11 URIs) are reached.
    void setTokenAccess(const TokenAccess &access) { m_tokenAccess = access; }

    // The store view of the last run; replaced by each run.
    const ElWinCertStorage *winCertStorage() const { return m_winCertStorage.get(); }

private:
    ElMemoryCertStorage &m_clientStorage;
    Messenger &m_messenger;
    QString m_storesFolder;
    TokenAccess m_tokenAccess;
    std::unique_ptr<ElWinCertStorage> m_winCertStorage;
};
