#include "retrieval/CertificateExpiry.h"

#include "transport/ElX509Certificate.h"

bool expiresSoon(const ElX509Certificate &certificate, const QDateTime &now)
{
    const QDateTime notAfter = certificate.notAfter();
    return notAfter.isValid() && notAfter <= now.addDays(CertificateExpiryWarningDays);
}

QString expiryDateText(const ElX509Certificate &certificate)
{
    return certificate.notAfter().toUTC().date().toString(Qt::ISODate);
}

QString certificateExpiryLine(const QString &memberCode, const ElX509Certificate &certificate,
                              const QDateTime &now)
{
    const bool expired = certificate.notAfter() < now;
    return QStringLiteral("Certificate of member %1 (%2) %3 on %4")
        .arg(memberCode, certificate.subject(),
             expired ? QStringLiteral("expired") : QStringLiteral("expires"), expiryDateText(certificate));
}
