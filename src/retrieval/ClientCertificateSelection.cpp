#include "retrieval/ClientCertificateSelection.h"

#include "common/Clock.h"
#include "common/Messenger.h"
#include "retrieval/CertificateExpiry.h"
#include "transport/ElMemoryCertStorage.h"

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

QByteArray decodeSubjectKeyID(const QString &hex)
{
    QByteArray key;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2) {
        const int high = hexDigit(hex.at(i));
        const int low = hexDigit(hex.at(i + 1));
        if (high < 0 || low < 0)
            throw EConvertError(QStringLiteral("'%1' is not a valid hexadecimal byte").arg(hex.mid(i, 2)));
        key.append(char(high * 16 + low));
    }
    return key;
}

ClientCertificateSelection::ClientCertificateSelection(ElMemoryCertStorage &clientStorage,
                                                       Messenger &messenger, QString storesFolder)
    : m_clientStorage(clientStorage), m_messenger(messenger), m_storesFolder(std::move(storesFolder))
{
}

void ClientCertificateSelection::PrepareClientCertificate(const CertificateEndpoint &endpoint,
                                                          const QString &remoteMemberText)
{
    Messenger &log = m_messenger;
    log.debugLog(remoteMemberText.trimmed().isEmpty() ? QStringLiteral("VORN_IMP_INI>")
                                                      : QStringLiteral("VORN_REMOTECLAN>"));
    log.debugLog(QStringLiteral("FVornProtocol=") + endpoint.vornProtocol);
    log.debugLog(QStringLiteral("FVornUri=") + endpoint.vornUri);
    log.debugLog(QStringLiteral("FVornMemberCode=") + endpoint.vornMemberCode);
    log.debugLog(QStringLiteral("FCertificateSubjectKeyID=") + endpoint.certificateSubjectKeyID);
    log.debugLog(QStringLiteral("FCertificatePath=") + endpoint.certificatePath);
    log.debugLog(QStringLiteral("FCertificateStorage=") + endpoint.certificateStorage);
    log.debugLog(QStringLiteral(" "));
    log.debugLog(QStringLiteral("--- certificate preparation begin ---"));

    m_winCertStorage = std::make_unique<ElWinCertStorage>(m_storesFolder);
    log.debugLog(QStringLiteral("No. of certificates after create: %1").arg(m_winCertStorage->count()));
    m_winCertStorage->setTokenAccess(m_tokenAccess);
    m_winCertStorage->addStore(endpoint.certificateStorage);
    log.debugLog(QStringLiteral("No. of certificates after %1 storage addition: %2")
                     .arg(endpoint.certificateStorage)
                     .arg(m_winCertStorage->count()));

    const QByteArray key = decodeSubjectKeyID(endpoint.certificateSubjectKeyID);
    // The raw form as it always was, then the key as people read it.
    log.debugLog(QStringLiteral("Lookup KeyID: ") + QString::fromLatin1(key) + QStringLiteral(" (hex ") +
                 QString::fromLatin1(key.toHex()) + u')');
    const int index = m_winCertStorage->indexOfSubjectKeyId(key);
    log.debugLog(QStringLiteral("Index of certificate with matching criteria: %1").arg(index));

    if (index >= 0) {
        log.debugLog(QStringLiteral("Certificate found:"));
        const ElX509Certificate &certificate = m_winCertStorage->certificateWithKey(index);
        if (!certificate.encoded().isEmpty()) {
            log.debugLog(QStringLiteral("   Subject: ") + certificate.subject());
            log.debugLog(QStringLiteral("   Issuer: ") + certificate.issuer());
            m_clientStorage.clear();
            m_clientStorage.add(certificate);
            log.debugLog(QStringLiteral("Certificate loaded"));
            // Not only a debug line: an operator and the host's messages see it weeks ahead.
            if (expiresSoon(certificate, Clock::now()))
                log.log(certificateExpiryLine(endpoint.vornMemberCode, certificate, Clock::now()));
        } else {
            log.debugLog(QStringLiteral("Error loading certificate"));
        }
    }

    log.debugLog(QStringLiteral("--- certificate preparation end ---"));
    log.debugLog(QString());
    if (index >= 0 && !m_winCertStorage->certificate(index).encoded().isEmpty())
        return;
    // Never the certificate of an earlier fetch: it belongs to another member.
    m_clientStorage.clear();
    throw ECertificateNotFound(
        QStringLiteral("No usable certificate with the subject key identifier %1 is in the certificate store "
                       "\"%2\" of member %3; no request was sent. Put the member's certificate with its key "
                       "into that store, or correct the member's subject key identifier in the host "
                       "configuration.")
            .arg(endpoint.certificateSubjectKeyID, endpoint.certificateStorage, endpoint.vornMemberCode));
}
